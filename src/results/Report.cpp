#include "results/Report.h"

#include "base/RuntimeError.h"

#include <QCoreApplication>
#include <QDir>
#include <QSaveFile>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <set>

namespace kivora {

namespace {

QString row(const QStringList &cells) {
    return cells.join(u',') + u"\r\n"_qs;
}

// The cells that name a run in cells.csv and runs.csv.
QStringList runCells(const RunFile &file) {
    return {csvCell(file.subject), csvCell(file.runStarted), csvCell(file.fileName)};
}

QString count(int n) {
    return QString::number(n);
}

// A whole count that only means something from two values on (df).
QString degrees(int df, int n) {
    return n >= 2 ? QString::number(df) : QString();
}

} // namespace

int Report::completeRuns() const {
    return int(std::count_if(runs.begin(), runs.end(), [](const ReportRun &r) { return r.file.complete; }));
}

QStringList Report::readAsCp932() const {
    QStringList files;
    for (const ReportRun &r : runs)
        if (r.file.encoding == TextEncoding::Cp932)
            files << r.file.fileName;
    return files;
}

Report::Exclusions Report::exclusions() const {
    Exclusions e;
    for (const ReportRun &r : runs) {
        if (!r.file.complete) {
            ++e.incompleteRuns;
            e.incompleteTrials += r.summary.trials;
            continue;
        }
        e.trials += r.summary.trials;
        e.errors += r.summary.trials - r.summary.correct;
        e.tooFast += r.summary.tooFast;
        e.tooSlow += r.summary.tooSlow;
    }
    return e;
}

Report makeReport(const QString &folder, RunFolder read, const RtLimits &limits) {
    Report report;
    report.folder = folder;
    report.limits = limits;
    report.skipped = std::move(read.skipped);
    report.meansFiles = read.meansFiles;
    std::set<qint16> times;
    std::vector<const RunSummary *> complete;
    report.runs.reserve(read.runs.size());
    for (RunFile &file : read.runs) {
        RunSummary summary = summarizeRun(file.trials, limits);
        for (const RunLine &line : summary.lines)
            times.insert(line.presentTime);
        report.runs.push_back(ReportRun{std::move(file), std::move(summary)});
    }
    for (const ReportRun &r : report.runs)
        if (r.file.complete)
            complete.push_back(&r.summary);
    report.times.assign(times.begin(), times.end());
    report.group = summarizeGroup(complete);
    return report;
}

QByteArray cellsCsv(const Report &report) {
    QString out =
        row({u"subject"_qs, u"run_started"_qs, u"file"_qs, u"PresentTime"_qs, u"disparity"_qs, u"Mirror"_qs,
             u"trials"_qs, u"correct"_qs, u"mean_rt"_qs, u"median_rt"_qs, u"sd_rt"_qs});
    for (const ReportRun &r : report.runs) {
        const QStringList name = runCells(r.file);
        for (const RunCell &c : r.summary.cells) {
            out += row(name + QStringList{count(c.presentTime), count(c.disparity), count(c.mirror),
                                          count(c.trials), count(c.correct), csvNumber(c.rt.mean),
                                          csvNumber(c.rt.median), csvNumber(c.rt.sd)});
        }
    }
    return out.toUtf8();
}

QByteArray runsCsv(const Report &report) {
    QStringList header{u"subject"_qs,        u"run_started"_qs,     u"file"_qs,
                       u"trials"_qs,         u"complete"_qs,        u"correct"_qs,
                       u"accuracy"_qs,       u"excluded"_qs,        u"late_flips"_qs,
                       u"onsets_exact"_qs,   u"practice_trials"_qs, u"practice_correct"_qs,
                       u"practice_rounds"_qs};
    for (qint16 t : report.times)
        header << u"slope_%1"_qs.arg(t) << u"intercept_%1"_qs.arg(t) << u"r2_%1"_qs.arg(t);
    QString out = row(header);
    for (const ReportRun &r : report.runs) {
        const RunSummary &s = r.summary;
        QStringList cells = runCells(r.file);
        cells << count(s.trials) << count(r.file.complete ? 1 : 0) << count(s.correct)
              << csvNumber(s.trials > 0 ? double(s.correct) / s.trials : NaN) << count(s.excluded())
              << (r.file.lateFlips ? count(*r.file.lateFlips) : QString())
              << (r.file.onsetsExact ? count(*r.file.onsetsExact ? 1 : 0) : QString())
              << count(r.file.practiceTrials) << count(r.file.practiceCorrect)
              << count(r.file.practiceRounds);
        for (qint16 t : report.times) {
            const RunLine *line = s.lineAt(t);
            const LineFit fit = line ? line->fit : LineFit{};
            cells << csvNumber(fit.slope) << csvNumber(fit.intercept) << csvNumber(fit.r2);
        }
        out += row(cells);
    }
    return out.toUtf8();
}

QByteArray groupCsv(const Report &report) {
    QString out = row({u"measure"_qs, u"PresentTime"_qs, u"disparity"_qs, u"n"_qs, u"mean"_qs, u"sd"_qs,
                       u"se"_qs, u"ci_low"_qs, u"ci_high"_qs, u"t"_qs, u"df"_qs, u"p"_qs});
    // The t test is of the slopes only: a mean RT against 0 says nothing.
    auto values = [](const GroupSummary &g, bool test) {
        return QStringList{count(g.n),
                           csvNumber(g.mean),
                           csvNumber(g.sd),
                           csvNumber(g.se),
                           csvNumber(g.ciLow),
                           csvNumber(g.ciHigh),
                           test ? csvNumber(g.t) : QString(),
                           degrees(g.df, g.n),
                           test ? csvNumber(g.p) : QString()};
    };
    for (const GroupLine &line : report.group) {
        for (std::size_t d = 0; d < Disparities.size(); ++d)
            out += row(QStringList{u"rt"_qs, count(line.presentTime), count(Disparities[d])} +
                       values(line.meanRt[d], false));
        out += row(QStringList{u"slope"_qs, count(line.presentTime), QString()} + values(line.slope, true));
    }
    return out.toUtf8();
}

void writeReportCsv(const Report &report, const QString &folder) {
    if (!QDir().mkpath(folder))
        throw RuntimeError(ErrPathNotFound,
                           QCoreApplication::translate("Report", "報告のフォルダを作れません: %1")
                               .arg(QDir::toNativeSeparators(folder)));
    const std::pair<QString, QByteArray> files[] = {{u"cells.csv"_qs, cellsCsv(report)},
                                                    {u"runs.csv"_qs, runsCsv(report)},
                                                    {u"group.csv"_qs, groupCsv(report)}};
    for (const auto &[name, bytes] : files) {
        QSaveFile file(QDir(folder).filePath(name));
        const QByteArray content = Utf8Bom.toByteArray() + bytes;
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
            throw RuntimeError(ErrPermissionDenied,
                               QCoreApplication::translate("Report", "%1 を書き込めません (%2)")
                                   .arg(QDir::toNativeSeparators(file.fileName()), file.errorString()));
    }
}

} // namespace kivora
