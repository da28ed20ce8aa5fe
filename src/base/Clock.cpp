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

const SteadyClock &SteadyClock::instance() {
    static const SteadyClock clock;
    return clock;
}

} // namespace kivora
