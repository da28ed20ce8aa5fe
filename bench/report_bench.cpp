// The report over 200 synthetic runs of 144 trials: the time to read the folder and write the
// three CSV files, the time with report.pdf as well, and the process's peak memory; then the class
// view over the same folder: its first view, a re-read of every run, and the processor it takes
// while nothing changes. Printed, not judged. Run through bench/report.
#include "analysis/GroupStats.h"
#include "base/Fonts.h"
#include "charts/ReportPdf.h"
#include "results/ClassFolder.h"
#include "results/Report.h"
#include "results/SessionData.h"
#include "run/PlanMaker.h"
#include "ui/ClassFolderWatch.h"
#include "ui/ClassView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <random>
#include <sys/resource.h>

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

// Processor time of this process so far (user and system, every thread), in seconds.
double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QDateTime now() {
    return QDateTime::currentDateTime();
}

// The class view over folder: a re-read of every run after each file's time changed (listing,
// reading, the statistics: what the watch's thread does), the listing alone when nothing
// changed; the first view (the watch's first listing and reading on its thread, the state shown
// and the window painted), the window's update with a re-read's state, and the processor the
// view takes over idleSeconds with nothing changing.
void classView(const QString &folder, int idleSeconds) {
    kivora::ClassFolder scanner(folder, {}, now);
    scanner.rescan();
    const QDateTime later = now().addSecs(5);
    for (const QString &name : QDir(folder).entryList({u"*.csv"_qs}, QDir::Files)) {
        QFile file(QDir(folder).filePath(name));
        if (!file.open(QIODevice::ReadWrite) || !file.setFileTime(later, QFileDevice::FileModificationTime))
            std::fprintf(stderr, "cannot touch %s\n", qPrintable(name));
    }
    const int readsBefore = scanner.reads();
    QElapsedTimer timer;
    timer.start();
    scanner.rescan();
    const auto state = std::make_shared<const kivora::ClassState>(scanner.state());
    const double reread = timer.nsecsElapsed() / 1e9;
    const int filesRead = scanner.reads() - readsBefore;
    timer.restart();
    constexpr int Listings = 20;
    for (int i = 0; i < Listings; ++i)
        scanner.rescan();
    const double listing = timer.nsecsElapsed() / 1e9 / Listings;

    timer.restart();
    kivora::ClassFolderWatch watch(std::make_unique<kivora::ClassFolder>(folder, kivora::RtLimits{}, now),
                                   1000);
    kivora::ClassView view(watch);
    view.resize(1920, 1080);
    view.show();
    QEventLoop loop;
    const QMetaObject::Connection first = QObject::connect(&watch, &kivora::ClassFolderWatch::changed, &loop,
                                                           &QEventLoop::quit, Qt::QueuedConnection);
    watch.start();
    loop.exec();
    QObject::disconnect(first);
    view.grab(); // painted
    const double firstView = timer.nsecsElapsed() / 1e9;
    timer.restart();
    view.showState(state);
    view.grab();
    const double shown = timer.nsecsElapsed() / 1e9;

    // Nothing changes: the watch lists the folder once a second, the window waits.
    QTimer::singleShot(idleSeconds * 1000, &loop, &QEventLoop::quit);
    const double cpuBefore = cpuSeconds();
    timer.restart();
    loop.exec();
    const double idle = (cpuSeconds() - cpuBefore) / (timer.nsecsElapsed() / 1e9);
    watch.stop(5000);

    std::printf("class view over the same folder (%zu rows):\n", state->rows.size());
    std::printf("%-40s %8.3f s\n", "first view (listed, read, shown)", firstView);
    std::printf("%-40s %8.3f s   (target < 1 s; %d files read)\n", "re-read of every run", reread, filesRead);
    std::printf("%-40s %8.3f s\n", "the window updated with them", shown);
    std::printf("%-40s %8.2f ms\n", "a listing, nothing changed", listing * 1000);
    std::printf("%-40s %8.2f %%   (target < 1 %% of a core; over %d s)\n", "processor while nothing changes",
                idle * 100, idleSeconds);
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
    QDir(out).removeRecursively(); // the class view lists the data files alone
    classView(dir.path(), argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 20);
    return ok ? 0 : 1;
}
