#pragma once

// A display in fake time for a run. With a refresh period it refreshes every periodUs, and a
// picture shown `frames` refreshes after the previous one comes on screen at that refresh, when
// fake time reaches it, with that refresh's time as its onset; a test can hold the completions
// back and hand them over itself (to let a key arrive first), and make the next flip miss its
// refresh. With period 0 it shows every picture at once, its onset the moment it was shown, as a
// presenter that paints synchronously does.

#include "session/Presenter.h"
#include "support/FakeTime.h"

#include <QImage>
#include <QPointer>
#include <deque>

class FakePresenter final : public kivora::Presenter {
    Q_OBJECT
public:
    explicit FakePresenter(FakeTime &time, qint64 periodUs = 16'667)
        : m_time(time), m_periodUs(periodUs), m_startUs(time.nowUs()) {}

    // While held, completions wait for deliver() (or for finish(), which the run calls when it
    // needs an onset at once).
    void hold(bool on) { m_held = on; }
    // The next picture comes on screen this many refreshes after the one it was due at.
    void missNext(int refreshes) { m_miss = refreshes; }
    // Hands over every completion whose refresh fake time has reached.
    void deliver() {
        while (!m_pending.empty() && m_pending.front().us <= m_time.nowUs())
            complete();
    }
    bool pending() const { return !m_pending.empty(); }
    qint64 refreshUs(qint64 msc) const { return m_startUs + msc * m_periodUs; }
    // What prepare() was last given, for tests of what a trial readies during its countdown.
    const QList<const QImage *> &prepared() const { return m_prepared; }

    void show(kivora::Stage stage, const QImage *, int frames, std::function<void()> withPicture) override {
        if (m_periodUs == 0) {
            withPicture();
            emit shown(stage, kivora::Onset{m_time.nowUs()});
            return;
        }
        if (frames > 0 && !m_pending.empty())
            finish(); // the flip the refreshes are counted from
        const qint64 next = (m_time.nowUs() - m_startUs) / m_periodUs + 1; // the coming refresh
        const qint64 target = frames > 0 ? m_lastMsc + frames : -1;
        const qint64 msc = std::max(target, next) + std::exchange(m_miss, 0);
        m_pending.push_back({stage, std::move(withPicture), target, msc, refreshUs(msc)});
        // The presenter may be gone by the time fake time gets there (the next test case).
        m_time.at(refreshUs(msc), [self = QPointer<FakePresenter>(this)] {
            if (self && !self->m_held)
                self->deliver();
        });
    }
    void prepare(std::initializer_list<const QImage *> pictures) override { m_prepared = pictures; }
    void finish() override {
        // The real display makes the caller wait for the refresh; here the clock jumps to it.
        while (!m_pending.empty()) {
            m_time.setNowUs(std::max(m_time.nowUs(), m_pending.front().us));
            complete();
        }
    }
    // As the real display's presenter: the handler runs two refreshes before its screen is due.
    int framesFor(qint32 intervalMs) const override {
        return m_periodUs == 0 ? 0 : kivora::refreshesFor(intervalMs, m_periodUs);
    }
    qint64 leadUs(kivora::Stage, qint32 intervalMs) const override {
        return m_periodUs == 0 ? 0 : kivora::refreshLeadUs(intervalMs, m_periodUs);
    }
    kivora::DisplayInfo displayInfo() const override {
        kivora::DisplayInfo info;
        info.mode = m_periodUs == 0 ? kivora::PresentMode::Timers : kivora::PresentMode::Present;
        info.periodUs = m_periodUs;
        info.compositor = compositor;
        info.onset = m_periodUs == 0 ? kivora::OnsetSource::Flush : kivora::OnsetSource::Flip;
        return info;
    }
    // What the display says of the compositor from now on.
    kivora::Compositor compositor = kivora::Compositor::No;

private:
    struct Pending {
        kivora::Stage stage;
        std::function<void()> withPicture;
        qint64 target;
        qint64 msc;
        qint64 us;
    };
    void complete() {
        Pending p = std::move(m_pending.front());
        m_pending.pop_front();
        m_lastMsc = p.msc;
        p.withPicture();
        emit shown(p.stage, kivora::Onset{p.us, p.msc, p.target});
    }

    FakeTime &m_time;
    qint64 m_periodUs;
    qint64 m_startUs;
    bool m_held = false;
    int m_miss = 0;
    qint64 m_lastMsc = 0;
    std::deque<Pending> m_pending;
    QList<const QImage *> m_prepared;
};
