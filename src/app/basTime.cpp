#include "app/basTime.h"

#include "app/Clock.h"

namespace basTime {

qint32 timeGetTime() {
    return kivora::SteadyClock::instance().timeGetTime();
}

void reset() {
    Trials = {};
    TrialCount = 0;
    SubjectName.clear();
    Stats = {};
}

} // namespace basTime
