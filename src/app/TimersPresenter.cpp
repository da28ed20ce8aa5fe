#include "app/Presenter.h"

#include "app/PictureBox.h"
#include "app/WindowSystem.h"
#include "base/Clock.h"

#include <QLabel>
#include <algorithm>
#include <cmath>

namespace kivora {

int refreshesFor(qint32 intervalMs, qint64 periodUs) {
    if (periodUs <= 0)
        return 1;
    return int(std::max<qint64>(1, std::llround(double(intervalMs) * 1000.0 / double(periodUs))));
}

qint64 refreshLeadUs(qint32 intervalMs, qint64 periodUs) {
    // The server holds a picture handed over early until its refresh.
    const qint64 margin = std::clamp<qint64>(2 * periodUs, 8000, 40000);
    return qint64(intervalMs) * 1000 - qint64(refreshesFor(intervalMs, periodUs)) * periodUs + margin;
}

TimersPresenter::TimersPresenter(QWidget *window, PictureBox *image, QLabel *caption, const Clock &clock)
    : Presenter(image, caption), m_window(window), m_clock(clock) {}

void TimersPresenter::show(Screen screen, const QImage *picture, const std::optional<QString> &caption, int) {
    m_image->setPicture(picture);
    if (caption)
        m_caption->setText(*caption);
    const qint64 start = m_clock.nowUs();
    repaintNow(m_window);
    const qint64 onset = m_clock.nowUs();
    m_paintUs[int(screen)].add(onset - start);
    emit shown(screen, Onset{onset});
}

void TimersPresenter::prepare(std::initializer_list<const QImage *> pictures) {
    m_image->prepare(pictures);
}

qint64 TimersPresenter::leadUs(Screen next, qint32) const {
    // Until the next screen has been painted once, the countdown's paint (measured at the start
    // of every trial) stands in for it.
    const RecentMedian &paint =
        m_paintUs[int(next)].isEmpty() ? m_paintUs[int(Screen::Countdown)] : m_paintUs[int(next)];
    // A paint never takes longer than a few ms; more is a busy machine, not something to plan the
    // next stage by.
    return std::clamp<qint64>(paint.median(), 0, 3000);
}

DisplayInfo TimersPresenter::displayInfo() const {
    const std::optional<bool> compositor = compositorActive();
    return {u"timers"_qs, 0, compositor ? (*compositor ? u"yes"_qs : u"no"_qs) : u"unknown"_qs, 0};
}

} // namespace kivora
