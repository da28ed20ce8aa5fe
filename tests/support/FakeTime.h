#pragma once

#include "base/Clock.h"
#include "base/StageTimer.h"

#include <QPointer>
#include <algorithm>
#include <functional>
#include <vector>

// Time that moves only when a test says so. Timers armed on it fire from advanceMs(), in the
// order of their deadlines, with the clock standing at each deadline while its handler runs —
// so a three-second trial takes no time at all.
class FakeClock final : public kivora::Clock {
public:
    qint64 nowUs() const override { return m_us; }
    void setUs(qint64 us) { m_us = us; }

private:
    qint64 m_us = 5'000'000'000; // an arbitrary non-zero start
};

class FakeTimer final : public kivora::StageTimer {
    Q_OBJECT
public:
    FakeTimer(const FakeClock &clock, QObject *parent) : StageTimer(parent), m_clock(clock) {}
    bool running() const { return m_running; }
    qint64 deadlineUs() const { return m_deadlineUs; }
    // One period has elapsed: re-arm, then raise Timer (as the precise timer does).
    void fire() {
        m_deadlineUs += m_periodUs;
        elapse();
    }

protected:
    void start(qint32 intervalMs, qint64 firstUs) override {
        m_periodUs = qint64(intervalMs) * 1000;
        m_deadlineUs = m_clock.nowUs() + firstUs;
        m_running = true;
    }
    void stop() override { m_running = false; }
    qint64 nowUs() const override { return m_clock.nowUs(); }

private:
    const FakeClock &m_clock;
    bool m_running = false;
    qint64 m_deadlineUs = 0;
    qint64 m_periodUs = 0;
};

class FakeTime final : public kivora::TimeSource {
public:
    const kivora::Clock &clock() const override { return m_clock; }
    std::unique_ptr<kivora::StageTimer> makeTimer(QObject *parent) override {
        auto t = std::make_unique<FakeTimer>(m_clock, parent);
        m_timers.emplace_back(t.get());
        return t;
    }
    qint64 nowUs() const { return m_clock.nowUs(); }
    void setNowUs(qint64 us) { m_clock.setUs(us); }

    // Calls f when the clock reaches us, in time order with the timers (a fake display's
    // refresh, say).
    void at(qint64 us, std::function<void()> f) { m_alarms.push_back({us, std::move(f)}); }

    // Moves the clock on by ms, firing every timer and alarm that falls due on the way.
    void advanceMs(qint64 ms) { advanceUs(ms * 1000); }
    void advanceUs(qint64 us) {
        const qint64 target = m_clock.nowUs() + us;
        for (;;) {
            FakeTimer *t = nextDue(target);
            const auto alarm = std::min_element(m_alarms.begin(), m_alarms.end(),
                                                [](const Alarm &a, const Alarm &b) { return a.us < b.us; });
            const bool alarmDue = alarm != m_alarms.end() && alarm->us <= target;
            if (alarmDue && (!t || alarm->us <= t->deadlineUs())) {
                const Alarm a = *alarm;
                m_alarms.erase(alarm);
                m_clock.setUs(std::max(a.us, m_clock.nowUs()));
                a.call();
            } else if (t) {
                m_clock.setUs(t->deadlineUs());
                t->fire();
            } else {
                break;
            }
        }
        m_clock.setUs(target);
    }

private:
    FakeTimer *nextDue(qint64 limit) const {
        FakeTimer *best = nullptr;
        for (const auto &p : m_timers)
            if (p && p->running() && p->deadlineUs() <= limit &&
                (!best || p->deadlineUs() < best->deadlineUs()))
                best = p.data();
        return best;
    }
    struct Alarm {
        qint64 us;
        std::function<void()> call;
    };
    FakeClock m_clock;
    std::vector<QPointer<FakeTimer>> m_timers;
    std::vector<Alarm> m_alarms;
};
