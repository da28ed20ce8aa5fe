#pragma once

#include <QtGlobal>

namespace kivora {

// What the swap chain's frame statistics (DXGI_FRAME_STATISTICS) say: the latest present on
// screen (presentCount, the running count of Present calls) came on screen at refresh
// presentRefreshCount, and the vblank of refresh syncRefreshCount was at syncQpcTime
// (QueryPerformanceCounter ticks). The counts are 32 bits and wrap.
struct FrameStatistics {
    quint32 presentCount = 0;
    quint32 presentRefreshCount = 0;
    quint32 syncRefreshCount = 0;
    qint64 syncQpcTime = 0;
};

// When one Present call came on screen, from statistics read after it: presentCount is the
// call's own (GetLastPresentCount after it), targetRefresh the refresh it was meant for (in the
// statistics' refresh counts), periodUs the refresh period, qpcFrequency the counter's.
struct PresentOnset {
    enum class State {
        Pending,   // not on screen yet: read the statistics again
        Shown,     // on screen from `refresh`, whose vblank was at `us`
        Overtaken, // a later present is already on screen: when this one came cannot be told
    };
    State state = State::Pending;
    quint32 refresh = 0; // the refresh it came on screen at
    qint64 us = 0;       // that refresh's vblank, µs of the program's clock
    bool late = false;   // it came after targetRefresh (a refresh was missed)
};
PresentOnset presentOnset(const FrameStatistics &stats, quint32 presentCount, quint32 targetRefresh,
                          double periodUs, qint64 qpcFrequency);

// Whether the frame statistics have stayed disjoint too long to time the screens by them:
// GetFrameStatistics says disjoint (DXGI_ERROR_FRAME_STATISTICS_DISJOINT, after a mode or output
// change) or has none, and not once otherwise, for more than LimitUs.
class DisjointWatch {
public:
    static constexpr qint64 LimitUs = 1'000'000;
    // A reading at clock reading us, usable or not. Returns true once they have been unusable
    // for more than LimitUs at a stretch; a usable one starts the count again.
    bool tooLong(bool usable, qint64 us);

private:
    qint64 m_sinceUs = -1; // the first unusable reading of the stretch; -1: none
};

} // namespace kivora
