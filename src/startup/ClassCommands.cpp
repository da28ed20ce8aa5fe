#include "startup/ClassCommands.h"

#include "base/RuntimeError.h"
#include "charts/ReportPdf.h"
#include "platform/Console.h"
#include "results/Report.h"
#include "run/PlanReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace kivora {

int makePlanCommand(const QString &file, const PlanRecipe &recipe, std::optional<quint64> seed) {
    const QString shown = QDir::toNativeSeparators(file);
    if (const QString problem = planRecipeProblem(recipe); !problem.isEmpty()) {
        printErr(u"kivora: --make-plan: "_qs + problem);
        return 1;
    }
    const quint64 used = seed ? *seed : freshSeed();
    const QByteArray text = planFileText(makePlan(recipe, used));

    // What is written must load: the same reader as --check and the main window.
    TrialTable check;
    qint16 count = 0;
    try {
        count = readPlan(text, file, check);
    } catch (const PlanError &e) {
        printErr(u"kivora: --make-plan: the plan made does not load: "_qs + e.detail());
        return 1;
    }

    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        printErr(
            QFileInfo::exists(file)
                ? u"kivora: --make-plan: %1 exists; a plan is never overwritten: give a new file name"_qs.arg(
                      shown)
                : u"kivora: --make-plan: cannot create %1 (%2)"_qs.arg(shown, out.errorString()));
        return 1;
    }
    if (out.write(text) != text.size() || !out.flush()) {
        const QString reason = out.errorString();
        out.close();
        out.remove(); // half a plan is no plan
        printErr(u"kivora: --make-plan: cannot write %1 (%2)"_qs.arg(shown, reason));
        return 1;
    }
    printOut(u"%1: %2 trials, seed %3 (the same options with --seed %3 make the same plan)\n"_qs.arg(shown)
                 .arg(count)
                 .arg(used));
    return 0;
}

void Transcript::out(const QString &line, const QString &shown) {
    m_lines << (shown.isEmpty() ? line : shown);
    if (m_echo)
        printOut(line + u'\n');
}

void Transcript::err(const QString &line, const QString &shown) {
    m_lines << (shown.isEmpty() ? line : shown);
    if (m_echo)
        printErr(line);
}

int reportCommand(const QString &folder, const QString &out, const RtLimits &limits, Transcript &say,
                  QString *pdfPath) {
    const QFileInfo dir(folder);
    if (!dir.isDir()) {
        const QString shown = QDir::toNativeSeparators(folder);
        say.err(
            u"kivora: --report: %1 is not a folder"_qs.arg(shown),
            QCoreApplication::translate("ClassCommands", "kivora: --report: %1 is not a folder").arg(shown));
        return 1;
    }
    const QString target = out.isEmpty() ? QDir(folder).filePath(u"report"_qs) : out;
    if (QFileInfo(target).canonicalFilePath() == dir.canonicalFilePath()) {
        say.err(
            u"kivora: --report: the report cannot go into the data folder itself; give --out another folder"_qs);
        return 1;
    }

    RunFolder read = readRunFolder(folder);
    for (const SkippedFile &s : read.skipped)
        say.err(s.detail(QDir::toNativeSeparators(QDir(folder).filePath(s.fileName))));
    if (read.runs.empty()) {
        const QString shown = QDir::toNativeSeparators(folder);
        say.err(u"kivora: --report: no run read from %1; nothing written"_qs.arg(shown),
                QCoreApplication::translate("ClassCommands",
                                            "kivora: --report: no run read from %1; nothing written")
                    .arg(shown));
        return 1;
    }
    const Report report = makeReport(folder, std::move(read), limits);
    try {
        writeReportCsv(report, target);
    } catch (const RuntimeError &e) {
        say.err(u"kivora: --report: "_qs + e.detail());
        return 1;
    }
    QSaveFile pdf(QDir(target).filePath(u"report.pdf"_qs));
    if (!pdf.open(QIODevice::WriteOnly) || !writeReportPdf(report, &pdf) || !pdf.commit()) {
        say.err(u"kivora: --report: cannot write %1 (%2)"_qs.arg(QDir::toNativeSeparators(pdf.fileName()),
                                                                 pdf.errorString()));
        return 1;
    }
    if (pdfPath)
        *pdfPath = pdf.fileName();
    const QStringList cp932 = report.readAsCp932();
    const QString runs = QString::number(report.runs.size());
    const QString complete = QString::number(report.completeRuns());
    const QString skipped = QString::number(report.skipped.size());
    const QString named = cp932.isEmpty() ? QString() : u"; read as CP932: "_qs + cp932.join(u", "_qs);
    const QString where = QDir::toNativeSeparators(target);
    say.out(u"%1 runs read (%2 complete), %3 files skipped%4; report in %5"_qs.arg(runs, complete, skipped,
                                                                                   named, where),
            QCoreApplication::translate("ClassCommands",
                                        "%1 runs read (%2 complete), %3 files skipped%4; report in %5")
                .arg(runs, complete, skipped, named, where));
    return 0;
}

} // namespace kivora
