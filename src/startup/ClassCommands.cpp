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

namespace {

// A line of the report: text (marked for the translation files with QT_TRANSLATE_NOOP) with args
// put in, said in English on the console and in the language of the texts in the box.
enum class To { Out, Err };
template <typename... Args> void sayLine(Transcript &say, To to, const char *text, const Args &...args) {
    const QString console = QString::fromUtf8(text).arg(args...);
    const QString shown = QCoreApplication::translate("ClassCommands", text).arg(args...);
    to == To::Out ? say.out(console, shown) : say.err(console, shown);
}

} // namespace

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
        sayLine(say, To::Err, QT_TRANSLATE_NOOP("ClassCommands", "kivora: --report: %1 is not a folder"),
                QDir::toNativeSeparators(folder));
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
        sayLine(say, To::Err,
                QT_TRANSLATE_NOOP("ClassCommands", "kivora: --report: no run read from %1; nothing written"),
                QDir::toNativeSeparators(folder));
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
    sayLine(
        say, To::Out,
        QT_TRANSLATE_NOOP("ClassCommands", "%1 runs read (%2 complete), %3 files skipped%4; report in %5"),
        QString::number(report.runs.size()), QString::number(report.completeRuns()),
        QString::number(report.skipped.size()),
        cp932.isEmpty() ? QString() : u"; read as CP932: "_qs + cp932.join(u", "_qs),
        QDir::toNativeSeparators(target));
    return 0;
}

} // namespace kivora
