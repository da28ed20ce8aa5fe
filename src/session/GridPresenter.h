#pragma once

#include "base/RefreshGrid.h"
#include "session/Presenter.h"

#include <functional>
#include <memory>

namespace kivora {

class Clock;

// Where a compositor's refresh grid is read from: the desktop compositor's timing info on
// Windows (DwmGetCompositionTimingInfo), a fake grid in the tests.
class RefreshGridSource {
public:
    virtual ~RefreshGridSource() = default;
    // The grid as of now; an invalid one where the timing info cannot be had.
    virtual RefreshGrid read() = 0;
};

// Brings pictures to the screen through a compositor that composes a window's drawing at its
// next refresh and shows it one refresh later, in whole refreshes of its grid: a screen meant to
// last an interval lasts N = max(1, round(interval / period)) refreshes, counted from the
// refresh the screen before it was composed at. Its picture is painted and handed over early in
// the refresh before its target (the stage timer fires a little before that moment and the
// presenter waits for it), so that it is composed at the target; the onset is the target's start
// plus the compositor's one-refresh delay. The compositor says nothing of the moment itself, so
// the onset is an estimate from the grid. A picture handed over too late is composed at a later
// refresh and told as late; the screens after it count from there, so none is shortened.
class GridPresenter final : public Presenter {
public:
    // What the window does for the presenter: paint now and hand the drawing to the compositor;
    // ready the pictures about to be shown; wait (precisely, for well under a refresh) until a
    // clock reading.
    struct Window {
        std::function<void()> paint;
        std::function<void(std::initializer_list<const QImage *>)> prepare;
        std::function<void(qint64 untilUs)> waitUntil;
    };
    // Margin by which the stage timer fires before the hand-over, for its own wake-up (µs).
    static constexpr qint64 WakeMarginUs = 2000;

    GridPresenter(std::unique_ptr<RefreshGridSource> grid, const Clock &clock, Window window);

    void show(Stage stage, const QImage *picture, int frames, std::function<void()> withPicture) override;
    void prepare(std::initializer_list<const QImage *> pictures) override;
    int framesFor(qint32 intervalMs) const override;
    qint64 leadUs(Stage next, qint32 intervalMs) const override;
    DisplayInfo displayInfo() const override;

private:
    std::unique_ptr<RefreshGridSource> m_source;
    const Clock &m_clock;
    Window m_window;
    RefreshGrid m_grid;        // the grid as last read
    qint64 m_lastRefresh = -1; // the refresh the last screen was composed at; -1: none yet
};

} // namespace kivora
