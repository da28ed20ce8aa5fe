#pragma once

#include <QObject>
#include <memory>
#include <optional>

namespace kivora {

class Clock;

// A timer as the trial stages use it: Interval in ms, Enabled, and the Timer signal raised every
// Interval ms while enabled, counted from the moment it was enabled. Enabling an enabled timer
// changes nothing; disabling stops it. An Interval of 0 never fires (a QTimer would fire at once,
// and the trial must then wait at its cue), a negative one is refused with error 380.
class StageTimer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    bool Enabled() const { return m_enabled; }
    void setEnabled(bool on);
    qint32 Interval() const { return m_interval; }
    void setInterval(qint32 ms);
    // Raise Timer this many microseconds before each Interval ends, for a caller that knows its
    // own handler needs that long before its result is on screen (negative: after it ends).
    // Takes effect when the countdown next starts.
    void setLeadUs(qint64 us) { m_leadUs = us; }
    // Count the first Interval from clock reading us instead of from the moment of enabling: the
    // moment the screen this timer ends came on screen, which may be known only once the timer
    // is already running. Restarts an enabled timer at once; otherwise takes effect when it is
    // next enabled. Forgotten when the timer is disabled.
    void countFrom(qint64 us);
    // The next enabling does not start the countdown: countFrom() does, once the moment it
    // counts from is known. Until then the timer is enabled but does not fire.
    void startOnCountFrom() { m_waitForFrom = true; }

signals:
    void Timer();

protected:
    // Called when the countdown starts (enabled with an Interval above 0) or stops. The first
    // period ends firstUs after the call, the following ones every Interval.
    virtual void start(qint32 intervalMs, qint64 firstUs) = 0;
    // The clock the timer runs on, in microseconds.
    virtual qint64 nowUs() const = 0;
    virtual void stop() = 0;
    // For subclasses: raise Timer for one elapsed period. The timer may be disabled by the handler.
    void elapse() { emit Timer(); }

private:
    void restart();
    bool m_enabled = false;
    qint32 m_interval = 0;
    qint64 m_leadUs = 0;
    std::optional<qint64> m_fromUs;
    bool m_waitForFrom = false;
};

// Makes the three stage timers of the main window. Production uses precise timers on the
// monotonic clock; tests hand in a fake that advances time by hand.
class TimeSource {
public:
    virtual ~TimeSource() = default;
    virtual const Clock &clock() const = 0;
    virtual std::unique_ptr<StageTimer> makeTimer(QObject *parent) = 0;
};

// Wakes at an absolute deadline on the monotonic clock, watched by the event loop: a timerfd on
// CLOCK_MONOTONIC on Linux (StageTimer_linux.cpp), a waitable timer on Windows
// (StageTimer_windows.cpp). Qt's own precise timers wake ~0.1 % late on Linux (the kernel's poll
// slack: +2 ms on 2000 ms); a timerfd expiry wakes poll() at once. Each period's deadline is the
// previous deadline + Interval, so periods do not drift.
class PreciseTimer final : public StageTimer {
    Q_OBJECT
public:
    explicit PreciseTimer(QObject *parent = nullptr);
    ~PreciseTimer() override;

protected:
    void start(qint32 intervalMs, qint64 firstUs) override;
    void stop() override;
    qint64 nowUs() const override;

private:
    // The platform's side: the wake-up source and its notifier (a child of this timer, so that
    // the application can hold its activations back while an error box is up).
    struct Wake;
    static qint64 monotonicNs();
    void armAt(qint64 deadlineNs);
    // Consumes the expiry that woke us; false for one that a stop() has already withdrawn.
    bool takeExpiry();
    void onExpired();
    std::unique_ptr<Wake> m_wake;
    qint64 m_wakeLatencyNs = 0; // how late expiries reach us, learnt as they come
    qint64 m_deadlineNs = 0;
    qint64 m_periodNs = 0;
};

class SystemTimeSource final : public TimeSource {
public:
    const Clock &clock() const override;
    std::unique_ptr<StageTimer> makeTimer(QObject *parent) override;
};

} // namespace kivora
