#include "session/Presenter.h"

#include <algorithm>
#include <cmath>

namespace kivora {

int refreshesFor(qint32 intervalMs, qint64 periodUs) {
    if (periodUs <= 0)
        return 1;
    return int(std::max<qint64>(1, std::llround(double(intervalMs) * 1000.0 / double(periodUs))));
}

qint64 refreshLeadUs(qint32 intervalMs, qint64 periodUs) {
    // The display holds a picture handed over early until its refresh.
    const qint64 margin = std::clamp<qint64>(2 * periodUs, 8000, 40000);
    return qint64(intervalMs) * 1000 - qint64(refreshesFor(intervalMs, periodUs)) * periodUs + margin;
}

} // namespace kivora
