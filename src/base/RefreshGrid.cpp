#include "base/RefreshGrid.h"

#include "base/Clock.h"

#include <algorithm>
#include <cmath>

namespace kivora {

RefreshGrid RefreshGrid::fromTimingInfo(qint64 qpcRefreshPeriod, qint64 qpcVBlank, quint64 cRefresh,
                                        qint64 qpcFrequency) {
    if (qpcFrequency <= 0 || qpcRefreshPeriod <= 0 || qpcVBlank < 0)
        return {};
    return {double(qpcRefreshPeriod) * 1e6 / double(qpcFrequency), qpcTicksToUs(qpcVBlank, qpcFrequency),
            qint64(cRefresh)};
}

qint64 RefreshGrid::startUs(qint64 n) const {
    return vblankUs + std::llround(double(n - refresh) * periodUs);
}

qint64 RefreshGrid::refreshAt(qint64 us) const {
    if (!isValid())
        return refresh;
    qint64 n = refresh + qint64(std::floor(double(us - vblankUs) / periodUs));
    // The division and startUs round differently; startUs decides.
    while (startUs(n + 1) <= us)
        ++n;
    while (startUs(n) > us)
        --n;
    return n;
}

qint64 handOverMarginUs(const RefreshGrid &grid) {
    return std::min<qint64>(1000, qint64(grid.periodUs / 4));
}

GridStage planOnGrid(const RefreshGrid &grid, qint64 previousRefresh, int refreshes) {
    const qint64 target = previousRefresh + std::max(1, refreshes);
    return {target, grid.startUs(target - 1) + handOverMarginUs(grid), grid.startUs(target + 1)};
}

GridOnset composedOnGrid(const RefreshGrid &grid, qint64 target, qint64 handedOverUs) {
    const qint64 composed = grid.refreshAt(handedOverUs) + 1;
    return {composed, grid.startUs(composed + 1), target >= 0 && composed > target};
}

bool gridAdvances(const RefreshGrid &first, const RefreshGrid &second, qint64 elapsedUs) {
    if (!first.isValid() || !second.isValid())
        return false;
    const qint64 refreshes = second.refresh - first.refresh;
    if (refreshes < 1)
        return false;
    // No more refreshes than the time between the readings holds, give or take one at each end.
    if (double(refreshes) > double(elapsedUs) / first.periodUs + 2)
        return false;
    // The vblank times moved on by those refreshes, within half a refresh.
    const double moved = double(second.vblankUs - first.vblankUs);
    return std::abs(moved - double(refreshes) * first.periodUs) < first.periodUs / 2;
}

} // namespace kivora
