#include "ui/basTime.h"

namespace basTime {

void reset() {
    State = {};
}

} // namespace basTime
