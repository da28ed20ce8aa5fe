#pragma once

#include <QtGlobal>

namespace kivora {

// The desktop compositor's refresh grid as its timing info (DWM_TIMING_INFO) gives it: refresh
// number `refresh` began at vblankUs, and another begins every periodUs. Microseconds of the
// program's clock.
struct RefreshGrid {
    double periodUs = 0;
    qint64 vblankUs = 0;
    qint64 refresh = 0;

    // From the timing info's own numbers: qpcRefreshPeriod and qpcVBlank in QueryPerformanceCounter
    // ticks at qpcFrequency a second, cRefresh the number of the refresh that began at qpcVBlank.
    static RefreshGrid fromTimingInfo(qint64 qpcRefreshPeriod, qint64 qpcVBlank, quint64 cRefresh,
                                      qint64 qpcFrequency);

    bool isValid() const { return periodUs > 0; }
    // When refresh n begins.
    qint64 startUs(qint64 n) const;
    // The refresh under way at clock reading us: the last one to begin at or before it.
    qint64 refreshAt(qint64 us) const;
};

// A picture handed over to the compositor during refresh k is composed at refresh k + 1, and is
// on screen one refresh after that (the compositor's own delay): its onset is the start of
// refresh k + 2.

// How a screen meant to stay `refreshes` refreshes (N = max(1, round(interval / period)), counted
// from the screen before it, composed at previousRefresh) reaches the screen.
struct GridStage {
    qint64 target = 0;     // the refresh it is to be composed at: previousRefresh + refreshes
    qint64 handOverUs = 0; // when to hand its picture over: early in the refresh before the target
    qint64 onsetUs = 0;    // its onset when composed at the target: the target's start plus a refresh
};
GridStage planOnGrid(const RefreshGrid &grid, qint64 previousRefresh, int refreshes);

// How far into the refresh before the target the picture is handed over: enough that a clock
// reading or a vblank time a little off still falls in that refresh, and no more (µs).
qint64 handOverMarginUs(const RefreshGrid &grid);

// Where a picture handed over at clock reading handedOverUs was composed: at the refresh after
// the one under way then. One handed over in or after its target's refresh came a refresh late
// or more, and is told as late; the screen stays that much longer (it is never shortened: the
// screens after it count from the refresh it got). Handing over before planOnGrid's handOverUs
// would compose it early; a presenter waits for that moment. target -1: as soon as possible.
struct GridOnset {
    qint64 refresh = 0; // the refresh it was composed at
    qint64 us = 0;      // its onset: that refresh's start plus a refresh
    bool late = false;  // composed after its target
};
GridOnset composedOnGrid(const RefreshGrid &grid, qint64 target, qint64 handedOverUs);

// Whether the timing info is live: a second reading, taken elapsedUs (at least a period) after
// the first, shows later refreshes, as many as the time between them holds, with vblank times
// that moved on with them. Timing info that stands still (the same refresh a period later),
// goes back or disagrees with itself cannot time the screens.
bool gridAdvances(const RefreshGrid &first, const RefreshGrid &second, qint64 elapsedUs);

} // namespace kivora
