#pragma once

#include "base/Checked.h"

#include <QtGlobal>

namespace kivora {

// One trial: the plan fields read from the plan file, then the results of the answer.
struct TrialRec {
    qint16 FigSet = 0;      // image list 1..4 that holds the trial's figures
    qint16 StartDir = 0;    // first figure's direction, in steps of 60 degrees clockwise, 0..5
    qint16 CueDir = 0;      // arrow cue's direction step 0..5; also the statistics' column
    qint16 Mirror = 0;      // 0: test figure as it was (key 1), 1: mirrored (key 2)
    qint16 PresentTime = 0; // how long the cue stays, ms
    qint16 Answer = 0;      // 0 for key 1, 1 for key 2
    qint32 RT = 0;          // reaction time, ms
    bool operator==(const TrialRec &) const = default;
};
static_assert(sizeof(TrialRec) == 16, "seven fields without gaps: 16 bytes a record");

// Records 0..144; the trials of a run are 1..TrialCount, record 0 is never written.
constexpr int MaxTrials = 144;
using TrialTable = CheckedArray<TrialRec, MaxTrials + 1>;

} // namespace kivora
