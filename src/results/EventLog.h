#pragma once

#include "results/RunObserver.h"

#include <QFile>
#include <optional>

namespace kivora {

// The timing log: one tab-separated line per event, appended and flushed as it happens:
//   t_us <TAB> event <TAB> trial <TAB> detail
// t_us is the steady clock in microseconds (CLOCK_MONOTONIC on Linux, QueryPerformanceCounter on
// Windows), the clock the reaction times come from, so another process (a key sender, a
// photodiode logger) can compare its own readings with ours.
class EventLog final : public RunObserver {
public:
    // Opens (creates) the file for appending; throws RuntimeError when it cannot.
    explicit EventLog(const QString &path);

    void runOrdered(quint64 seed) override { m_nextSeed = seed; }
    void runStarted(const QString &subject, qint64 us) override;
    void stageShown(const QString &event, qint16 trial, const QString &detail, qint64 us,
                    qint64 msc) override;
    void lateFlip(const QString &event, qint16 trial, qint64 targetMsc, qint64 msc, qint64 us) override;
    void answered(qint16 trial, const TrialRec &rec, const AnswerTiming &timing) override;
    void runStopped(qint64 us) override;
    void practiceStarted(int round, std::optional<quint64> seed, qint64 us) override;
    void practiceEnded(int round, int correct, int trials, qint64 us) override;
    void breakStarted(qint16 done, qint64 us) override;
    void breakEnded(qint16 done, qint64 us) override;
    void triggerSent(qint16 trial, int code, qint64 us, qint64 lagUs) override;
    void triggerLost(qint16 trial, const QString &reason, qint64 us) override;
    void runCompleted(const RunStats &stats, qint64 us) override;
    void resultsShown(qint64 us) override;
    void resultsClosed(qint64 us) override;
    // The main window's first paint after start-up (for start-up timing).
    void windowShown(qint64 us);
    // How the pictures reach the screen (the display's words, the native window the pictures are
    // presented in), where the key times come from ("xinput2", "rawinput": a reader's stamps;
    // "filter": the key handler's own reading) and the platform the windows are shown on.
    void display(qint64 us, const DisplayInfo &display, const QString &keys, const QString &platform);
    void displayChanged(qint64 us, qint16 trial, const DisplayInfo &display) override;

private:
    void line(qint64 us, const QString &event, int trial, const QString &detail);
    QFile m_file;
    qint16 m_trial = 0;
    std::optional<quint64> m_nextSeed; // the coming run's order seed (--shuffle)
};

} // namespace kivora
