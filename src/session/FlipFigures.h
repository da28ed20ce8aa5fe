#pragma once

#include "session/Presenter.h"

#include <limits>
#include <vector>

namespace kivora {

// What a run of flips says about a display: each flip meant to come `framesPerFlip` refreshes
// after the one before it, its onset as the presenter told it.
struct FlipFigures {
    int flips = 0;
    int late = 0;         // came at a later refresh than due
    int miscounted = 0;   // another number of refreshes after the flip before it than planned
    bool counted = false; // the display gave refresh counts for every flip
    // The refresh period fitted to the onsets against their refresh counts, and the SD of the
    // onsets about that line (µs); NaN without refresh counts.
    double periodUs = std::numeric_limits<double>::quiet_NaN();
    double jitterUs = std::numeric_limits<double>::quiet_NaN();
    // Every flip at its planned refresh.
    bool exact() const { return counted && flips > 1 && late == 0 && miscounted == 0; }
};

FlipFigures flipFigures(const std::vector<Onset> &onsets, int framesPerFlip);

} // namespace kivora
