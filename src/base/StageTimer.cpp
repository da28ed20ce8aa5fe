#include "base/StageTimer.h"

#include "base/Clock.h"
#include "base/RuntimeError.h"

#include <algorithm>
#include <chrono>

namespace kivora {

void StageTimer::setEnabled(bool on) {
    if (on == m_enabled)
        return;
    m_enabled = on;
    if (!on) {
        m_fromUs.reset();
        m_waitForFrom = false;
    }
    restart();
}

void StageTimer::countFrom(qint64 us) {
    m_fromUs = us;
    if (m_enabled)
        restart();
}

void StageTimer::setInterval(qint32 ms) {
    if (ms < 0)
        throw RuntimeError(ErrInvalidProperty, QString::number(ms));
    m_interval = ms;
    if (m_enabled)
        restart();
}

void StageTimer::restart() {
    stop();
    if (!m_enabled || m_interval <= 0 || (m_waitForFrom && !m_fromUs))
        return;
    const qint64 periodUs = qint64(m_interval) * 1000;
    const qint64 sinceStartUs = m_fromUs ? nowUs() - *m_fromUs : 0;
    start(m_interval, std::max<qint64>(0, periodUs - m_leadUs - sinceStartUs));
}

void PreciseTimer::start(qint32 intervalMs, qint64 firstUs) {
    m_periodNs = qint64(intervalMs) * 1'000'000;
    m_deadlineNs = monotonicNs() + firstUs * 1000;
    armAt(m_deadlineNs - m_wakeLatencyNs);
}

void PreciseTimer::onExpired() {
    if (!takeExpiry())
        return; // stopped in the meantime
    // The event loop hands the expiry over some tens of microseconds after the system saw it;
    // arm that much earlier next time (a running average, never more than half a millisecond).
    const qint64 lateNs = monotonicNs() - m_deadlineNs;
    m_wakeLatencyNs =
        qBound<qint64>(0, (3 * m_wakeLatencyNs + (lateNs + m_wakeLatencyNs)) / 4, qint64(500000));
    // Re-arm before the handler runs: the handler usually disables this timer (which stops it
    // again), and an enabled timer goes on firing every period as its owner expects.
    m_deadlineNs += m_periodNs;
    const qint64 now = monotonicNs();
    if (m_deadlineNs <= now) // handler ran longer than a period: no burst of late periods
        m_deadlineNs = now + m_periodNs;
    armAt(m_deadlineNs - m_wakeLatencyNs);
    elapse();
}

// The steady clock is CLOCK_MONOTONIC on Linux (the timerfd's clock) and QueryPerformanceCounter
// on Windows: the clock the reaction times are read on.
qint64 PreciseTimer::monotonicNs() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

qint64 PreciseTimer::nowUs() const {
    return monotonicNs() / 1000;
}

const Clock &SystemTimeSource::clock() const {
    return SteadyClock::instance();
}

std::unique_ptr<StageTimer> SystemTimeSource::makeTimer(QObject *parent) {
    return std::make_unique<PreciseTimer>(parent);
}

} // namespace kivora
