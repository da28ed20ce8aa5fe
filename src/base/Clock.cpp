#include "base/Clock.h"

#include <chrono>

namespace kivora {

qint64 SteadyClock::nowUs() const {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

const char *SteadyClock::systemName() {
#ifdef Q_OS_WIN
    return "QueryPerformanceCounter";
#else
    return "CLOCK_MONOTONIC";
#endif
}

qint64 qpcTicksToUs(qint64 ticks, qint64 frequency) {
    constexpr qint64 NsPerSecond = 1'000'000'000;
    qint64 seconds = ticks / frequency;
    // (ticks % frequency) * 1e9 stays within 64 bits for any counter frequency below 9.2 GHz.
    qint64 ns = ((ticks % frequency) * NsPerSecond + frequency / 2) / frequency;
    if (ns >= NsPerSecond) {
        ++seconds;
        ns -= NsPerSecond;
    }
    return seconds * 1'000'000 + ns / 1000;
}

const SteadyClock &SteadyClock::instance() {
    static const SteadyClock clock;
    return clock;
}

} // namespace kivora
