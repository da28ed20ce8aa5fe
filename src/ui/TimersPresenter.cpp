#include "ui/TimersPresenter.h"

#include "base/Clock.h"
#include "platform/WindowSystem.h"
#include "ui/PictureBox.h"

#include <QWidget>

#include <algorithm>

namespace kivora {

TimersPresenter::TimersPresenter(QWidget *window, PictureBox *image, const Clock &clock)
    : m_window(window), m_image(image), m_clock(clock) {}

void TimersPresenter::show(Stage stage, const QImage *, int, std::function<void()> withPicture) {
    // The window puts the picture and the caption into its controls; one repaint brings both.
    withPicture();
    const qint64 start = m_clock.nowUs();
    repaintNow(m_window);
    const qint64 onset = m_clock.nowUs();
    m_paintUs[stage.index()].add(onset - start);
    emit shown(stage, Onset{onset});
}

void TimersPresenter::prepare(std::initializer_list<const QImage *> pictures) {
    m_image->prepare(pictures);
}

qint64 TimersPresenter::leadUs(Stage next, qint32) const {
    // Until the next stage has been painted once, the countdown's paint (measured at the start
    // of every trial) stands in for it.
    const RecentMedian &paint = m_paintUs[next.index()].isEmpty() ? m_paintUs[Stage(Stage::Countdown).index()]
                                                                  : m_paintUs[next.index()];
    // A paint never takes longer than a few ms; more is a busy machine, not something to plan the
    // next stage by.
    return std::clamp<qint64>(paint.median(), 0, 3000);
}

DisplayInfo TimersPresenter::displayInfo() const {
    DisplayInfo info;
    info.mode = PresentMode::Timers;
    info.onset = OnsetSource::Flush;
    // The window is painted as a whole: its own native window is asked about (none before it is
    // shown: Unknown).
    info.compositor = compositorOf(m_window->internalWinId());
    return info;
}

} // namespace kivora
