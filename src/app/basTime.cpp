#include "app/basTime.h"

namespace basTime {

void reset() {
    Trials = {};
    TrialCount = 0;
    SubjectName.clear();
    Stats = {};
}

} // namespace basTime
