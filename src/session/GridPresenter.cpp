#include "session/GridPresenter.h"

#include "base/Clock.h"

#include <cmath>

namespace kivora {

GridPresenter::GridPresenter(std::unique_ptr<RefreshGridSource> grid, const Clock &clock, Window window)
    : m_source(std::move(grid)), m_clock(clock), m_window(std::move(window)), m_grid(m_source->read()) {}

void GridPresenter::show(Stage stage, const QImage *, int frames, std::function<void()> withPicture) {
    m_grid = m_source->read();
    if (!m_grid.isValid()) {
        // The timing info went away (the display changed): the screen counts from its hand-over.
        withPicture();
        m_window.paint();
        m_lastRefresh = -1;
        emit shown(stage, Onset{m_clock.nowUs()});
        return;
    }
    qint64 target = -1;
    if (frames > 0 && m_lastRefresh >= 0) {
        const GridStage plan = planOnGrid(m_grid, m_lastRefresh, frames);
        target = plan.target;
        // Handed over any earlier, the picture would be composed a refresh early.
        if (m_clock.nowUs() < plan.handOverUs)
            m_window.waitUntil(plan.handOverUs);
    }
    withPicture();
    m_window.paint();
    const GridOnset onset = composedOnGrid(m_grid, target, m_clock.nowUs());
    m_lastRefresh = onset.refresh;
    emit shown(stage, Onset{onset.us, onset.refresh, target});
}

void GridPresenter::prepare(std::initializer_list<const QImage *> pictures) {
    m_window.prepare(pictures);
}

int GridPresenter::framesFor(qint32 intervalMs) const {
    if (!m_grid.isValid())
        return 0; // no grid to count on: the screen lasts the interval itself
    return refreshesFor(intervalMs, qint64(std::llround(m_grid.periodUs)));
}

qint64 GridPresenter::leadUs(Stage, qint32 intervalMs) const {
    if (!m_grid.isValid())
        return 0;
    // The timer counts from the previous onset, the start of the refresh after the one it was
    // composed at; the hand-over is N - 1 refreshes after that composition, into the refresh.
    const double period = m_grid.periodUs;
    const int n = framesFor(intervalMs);
    const qint64 handOverAfterOnsetUs = std::llround(double(n - 2) * period) + handOverMarginUs(m_grid);
    return qint64(intervalMs) * 1000 - handOverAfterOnsetUs + WakeMarginUs;
}

DisplayInfo GridPresenter::displayInfo() const {
    DisplayInfo info;
    info.mode = PresentMode::Present;
    info.periodUs = qint64(std::llround(m_grid.periodUs));
    info.compositor = Compositor::Yes; // the compositor composes every window it keeps a grid for
    info.onset = OnsetSource::Dwm;
    return info;
}

} // namespace kivora
