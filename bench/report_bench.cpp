// The report over 200 synthetic runs of 144 trials: the time to read the folder and write the
// three CSV files, the time with report.pdf as well, and the process's peak memory. Printed,
// not judged. Run through bench/report.
#include "analysis/GroupStats.h"
#include "base/Fonts.h"
#include "results/Report.h"
#include "charts/ReportPdf.h"
#include "results/SessionData.h"
#include "run/PlanMaker.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>

#include <cstdio>
#include <random>

namespace {

// Peak resident memory of this process so far, in MB (Linux: VmHWM).
double peakMb() {
    QFile status(u"/proc/self/status"_qs);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    return -1;
}

// Runs as --data writes them: the bundled plan's design in a fresh order per participant, RT
// rising with disparity, about 8 % errors, nine in ten runs complete.
void writeRuns(const QString &folder, int runs) {
    std::mt19937_64 random(2024);
    std::normal_distribution<double> noise(0, 120);
    std::normal_distribution<double> slopes(2.5, 0.8);
    std::bernoulli_distribution error(0.08);
    // The base columns and order_seed: the reader takes any of the added columns or none.
    QString header;
    for (const QStringView column : kivora::BaseDataColumns) {
        header += column;
        header += u',';
    }
    header += u"order_seed\r\n"_qs;
    for (int r = 0; r < runs; ++r) {
        const std::vector<kivora::TrialRec> plan = kivora::makePlan({}, quint64(r));
        const QString name = u"参加者%1"_qs.arg(r + 1, 3, 10, QLatin1Char('0'));
        const QString stem = u"20261208-%1_%2"_qs.arg(100000 + r).arg(name);
        const double slope = slopes(random);
        QString out = header;
        for (std::size_t i = 0; i < plan.size(); ++i) {
            const kivora::TrialRec &t = plan[i];
            const int answer = error(random) ? 1 - t.Mirror : t.Mirror;
            const int rt = int(550 + slope * kivora::disparityDeg(t) + noise(random));
            out += u"%1,2026-12-08T10:00:00+09:00,%2,%3,%4,%5,%6,%7,%8,%9,%10,%11\r\n"_qs.arg(name)
                       .arg(i + 1)
                       .arg(t.FigSet)
                       .arg(t.StartDir)
                       .arg(t.CueDir)
                       .arg(t.Mirror)
                       .arg(t.PresentTime)
                       .arg(answer)
                       .arg(answer == t.Mirror ? 1 : 0)
                       .arg(rt)
                       .arg(r);
        }
        QFile file(QDir(folder).filePath(stem + u".csv"_qs));
        if (!file.open(QIODevice::WriteOnly) || file.write(out.toUtf8()) < 0)
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
        if (r % 10 != 9) {
            QFile means(QDir(folder).filePath(stem + kivora::MeansSuffix.toString()));
            if (!means.open(QIODevice::WriteOnly) ||
                means.write("PresentTime,0,60,120,180,240,300,360\r\n") < 0)
                std::fprintf(stderr, "cannot write %s\n", qPrintable(means.fileName()));
        }
    }
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    kivora::installFontSubstitutes();
    const int runs = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 200;
    QTemporaryDir dir;
    writeRuns(dir.path(), runs);
    const QString out = dir.filePath(u"report"_qs);
    const double before = peakMb();

    QElapsedTimer timer;
    timer.start();
    kivora::Report report = kivora::makeReport(dir.path(), kivora::readRunFolder(dir.path()), {});
    kivora::writeReportCsv(report, out);
    const double csvSeconds = timer.nsecsElapsed() / 1e9;

    timer.restart();
    report = kivora::makeReport(dir.path(), kivora::readRunFolder(dir.path()), {});
    kivora::writeReportCsv(report, out);
    QSaveFile pdf(QDir(out).filePath(u"report.pdf"_qs));
    const bool ok = pdf.open(QIODevice::WriteOnly) && kivora::writeReportPdf(report, &pdf) && pdf.commit();
    const double allSeconds = timer.nsecsElapsed() / 1e9;

    std::printf("runs: %d of %zu trials each (%d complete), report.pdf %.1f MB%s\n", runs,
                report.runs.empty() ? std::size_t(0) : report.runs.front().file.trials.size(),
                report.completeRuns(), QFileInfo(pdf.fileName()).size() / 1e6, ok ? "" : " (NOT WRITTEN)");
    std::printf("%-40s %8.3f s   (target <= 0.5 s)\n", "read + cells.csv, runs.csv, group.csv", csvSeconds);
    std::printf("%-40s %8.3f s   (target <= 3 s)\n", "the same with report.pdf", allSeconds);
    std::printf("%-40s %8.1f MB  (target <= 150 MB; %.1f MB before the report)\n", "peak memory (VmHWM)",
                peakMb(), before);
    return ok ? 0 : 1;
}
