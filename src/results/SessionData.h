#pragma once

#include "results/RunObserver.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringView>
#include <array>
#include <functional>
#include <optional>

namespace kivora {

// The columns of a data file, in the order they are written: the eleven that every data file
// has, then those added after them (a reader finds them by name and ignores the ones it does not
// know: later versions add more at the end).
inline constexpr std::array<QStringView, 11> BaseDataColumns{
    u"subject", u"run_started", u"trial",  u"FigSet",  u"StartDir", u"CueDir",
    u"Mirror",  u"PresentTime", u"Answer", u"correct", u"RT"};
inline constexpr std::array<QStringView, 3> AddedDataColumns{u"RT_us", u"cue_us", u"order_seed"};
// After those: how exact the trial's onsets were.
inline constexpr std::array<QStringView, 5> DisplayDataColumns{u"late_flips", u"onset_source", u"period_us",
                                                               u"compositor", u"fullscreen"};
// Then which part of the study the row belongs to: block "practice" (round 1..3) or "main" (no
// round). trial counts from 1 in its block and round.
inline constexpr std::array<QStringView, 2> StudyDataColumns{u"block", u"round"};
// Then how late the test figure's trigger code left (--trigger; empty without).
inline constexpr std::array<QStringView, 1> TriggerDataColumns{u"trigger_lag_us"};
// The practice rounds a run has at most.
inline constexpr int MaxPracticeRounds = 3;

// The UTF-8 byte order mark that starts every CSV file the program writes: Excel reads a CSV file
// without it in the system's ANSI code page (Shift-JIS on a Japanese Windows) and garbles every
// Japanese name. Every reader of the files skips it, and reads files without it (older versions
// wrote none) the same.
inline constexpr QByteArrayView Utf8Bom{"\xEF\xBB\xBF", 3};

// What the name of a run's means file adds to the stem of its data file's name.
inline constexpr QStringView MeansSuffix = u"_means.csv";

// A number as the CSV files write it: the shortest decimal form that reads back to the same
// double, and an empty string for NaN.
QString csvNumber(double value);

// A text as one CSV cell: RFC 4180 quoting where needed, and a leading ' before a text that a
// spreadsheet would run as a formula.
QString csvCell(const QString &text);

// The session's data as it happens, one file per run in a data folder, each starting with
// Utf8Bom:
//   <folder>/<YYYYMMDD-HHMMSS>_<name>.csv        a row per answered trial, synced before the next
//   <folder>/<YYYYMMDD-HHMMSS>_<name>_means.csv  the chart's means, when the run completes
// Never overwrites a file: a second run in the same second gets "-2", "-3", ... after the stamp.
class SessionData final : public RunObserver {
public:
    explicit SessionData(QString folder);

    // Creates the folder if needed and proves it writable; throws RuntimeError with a message
    // naming the folder otherwise.
    static void checkFolder(const QString &folder);

    // Every run's subject is a participant code that no other run in the folder may have: a run
    // whose file finds another file of its code beside it (made meanwhile by another PC on the
    // same network folder) does not start; its own file goes again, and runStarted throws.
    void setUniqueSubjects(bool unique) { m_uniqueSubjects = unique; }
    // Whether folder holds a data or means file of subject, other than the file `except`.
    static bool subjectHasFiles(const QString &folder, const QString &subject, const QString &except = {});

    // Hook for tests: the local time a run starts at.
    void setNow(std::function<QDateTime()> now) { m_now = std::move(now); }

    QString currentFile() const { return m_file.fileName(); }
    QString lastMeansFile() const { return m_meansPath; }

    void runOrdered(quint64 seed) override { m_nextSeed = seed; }
    void runStarted(const QString &subject, qint64 us) override;
    void stageShown(const QString &, qint16, const QString &, qint64, qint64) override {}
    void lateFlip(const QString &, qint16, qint64, qint64, qint64) override {}
    void answered(qint16 trial, const TrialRec &rec, const AnswerTiming &timing) override;
    void runStopped(qint64 us) override;
    void practiceStarted(int round, std::optional<quint64> seed, qint64 us) override;
    void practiceEnded(int round, int correct, int trials, qint64 us) override;
    void runCompleted(const RunStats &stats, qint64 us) override;
    void resultsShown(qint64) override {}
    void resultsClosed(qint64) override {}

    // The name as it goes into a file name: characters that file systems refuse become "_", and
    // a name Windows keeps for a device (CON, NUL, COM1, ...) gets "_" after its stem.
    static QString safeFileName(const QString &name);

private:
    void writeSynced(QFile &file, const QByteArray &bytes);
    void syncFolder();
    QString m_folder;
    std::function<QDateTime()> m_now = [] { return QDateTime::currentDateTime(); };
    QFile m_file;
    QString m_stem;
    QString m_subjectCell; // the name as the first cell of every row, quoted and made safe
    QString m_started;
    std::optional<quint64> m_nextSeed;  // the coming run's order seed (--shuffle)
    QString m_seedCell;                 // order_seed of the run's rows: the seed, or empty
    QString m_mainSeedCell;             // the main trials' order_seed (practice rounds have their own)
    QString m_blockCells = u"main,"_qs; // block and round of the rows to come
    QString m_meansPath;
    bool m_uniqueSubjects = false;
};

} // namespace kivora
