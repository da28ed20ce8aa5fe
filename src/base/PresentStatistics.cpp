#include "base/PresentStatistics.h"

#include "base/Clock.h"

#include <cmath>

namespace kivora {

namespace {
// b - a for counts that wrap at 32 bits, near each other.
qint32 countsAfter(quint32 a, quint32 b) {
    return qint32(b - a);
}
} // namespace

PresentOnset presentOnset(const FrameStatistics &stats, quint32 presentCount, quint32 targetRefresh,
                          double periodUs, qint64 qpcFrequency) {
    const qint32 ahead = countsAfter(presentCount, stats.presentCount);
    if (ahead < 0)
        return {PresentOnset::State::Pending};
    if (ahead > 0)
        return {PresentOnset::State::Overtaken};
    const qint32 sinceSync = countsAfter(stats.syncRefreshCount, stats.presentRefreshCount);
    const qint64 us = qpcTicksToUs(stats.syncQpcTime, qpcFrequency) + std::llround(sinceSync * periodUs);
    return {PresentOnset::State::Shown, stats.presentRefreshCount, us,
            countsAfter(targetRefresh, stats.presentRefreshCount) > 0};
}

bool DisjointWatch::tooLong(bool usable, qint64 us) {
    if (usable) {
        m_sinceUs = -1;
        return false;
    }
    if (m_sinceUs < 0)
        m_sinceUs = us;
    return us - m_sinceUs > LimitUs;
}

} // namespace kivora
