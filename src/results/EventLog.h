#pragma once

#include "results/RunObserver.h"

#include <QFile>

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

    void runStarted(const QString &subject, qint64 us) override;
    void stageShown(const QString &event, qint16 trial, const QString &detail, qint64 us) override;
    void answered(qint16 trial, const TrialRec &rec, int key, qint64 us) override;
    void runStopped(qint64 us) override;
    void runCompleted(const RunStats &stats, qint64 us) override;
    void resultsShown(qint64 us) override;
    void resultsClosed(qint64 us) override;
    // The main window's first paint after start-up (for start-up timing).
    void windowShown(qint64 us);

private:
    void line(qint64 us, const QString &event, int trial, const QString &detail);
    QFile m_file;
    qint16 m_trial = 0;
};

} // namespace kivora
