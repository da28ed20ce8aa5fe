#include "base/Clock.h"

#include <chrono>

namespace kivora {

qint64 SteadyClock::nowUs() const {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

const SteadyClock &SteadyClock::instance() {
    static const SteadyClock clock;
    return clock;
}

} // namespace kivora
