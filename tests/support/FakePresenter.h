#pragma once

// A display in fake time for the main window: it refreshes every periodUs, and a picture shown
// `frames` refreshes after the previous one comes on screen at that refresh, when fake time
// reaches it, with that refresh's time as its onset. A test can hold the completions back and
// hand them over itself (to let a key arrive first), and make the next flip miss its refresh.

#include "app/PictureBox.h"
#include "app/Presenter.h"
#include "support/FakeTime.h"

#include <QLabel>
#include <QPointer>
#include <deque>
#include <optional>

class FakePresenter final : public kivora::Presenter {
    Q_OBJECT
public:
    FakePresenter(FakeTime &time, kivora::PictureBox *image, QLabel *caption, qint64 periodUs = 16'667)
        : Presenter(image, caption), m_time(time), m_periodUs(periodUs), m_startUs(time.nowUs()) {}

    // While held, completions wait for deliver() (or for finish(), which the main window calls
    // when it needs an onset at once).
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

    void show(kivora::Screen screen, const QImage *picture, const std::optional<QString> &caption,
              int frames) override {
        m_image->setPicture(picture);
        if (frames > 0 && !m_pending.empty())
            finish(); // the flip the refreshes are counted from
        const qint64 next = (m_time.nowUs() - m_startUs) / m_periodUs + 1; // the coming refresh
        const qint64 target = frames > 0 ? m_lastMsc + frames : -1;
        const qint64 msc = std::max(target, next) + std::exchange(m_miss, 0);
        m_pending.push_back({screen, caption, target, msc, refreshUs(msc)});
        // The presenter may be gone by the time fake time gets there (the next test case).
        m_time.at(refreshUs(msc), [self = QPointer<FakePresenter>(this)] {
            if (self && !self->m_held)
                self->deliver();
        });
    }
    void prepare(std::initializer_list<const QImage *>) override {}
    void finish() override {
        // The real display makes the caller wait for the refresh; here the clock jumps to it.
        while (!m_pending.empty()) {
            m_time.setNowUs(std::max(m_time.nowUs(), m_pending.front().us));
            complete();
        }
    }
    // As the real display's presenter: the handler runs two refreshes before its screen is due.
    int framesFor(qint32 intervalMs) const override { return kivora::refreshesFor(intervalMs, m_periodUs); }
    qint64 leadUs(kivora::Screen, qint32 intervalMs) const override {
        return kivora::refreshLeadUs(intervalMs, m_periodUs);
    }
    kivora::DisplayInfo displayInfo() const override { return {u"present"_qs, m_periodUs, u"no"_qs, 0}; }

private:
    struct Pending {
        kivora::Screen screen;
        std::optional<QString> caption;
        qint64 target;
        qint64 msc;
        qint64 us;
    };
    void complete() {
        const Pending p = m_pending.front();
        m_pending.pop_front();
        m_lastMsc = p.msc;
        if (p.caption)
            m_caption->setText(*p.caption);
        emit shown(p.screen, kivora::Onset{p.us, p.msc, p.target});
    }

    FakeTime &m_time;
    qint64 m_periodUs;
    qint64 m_startUs;
    bool m_held = false;
    int m_miss = 0;
    qint64 m_lastMsc = 0;
    std::deque<Pending> m_pending;
};
