#pragma once

#include "base/Checked.h"

#include <QtGlobal>

namespace kivora {

struct StatCell {
    qint16 Count = 0;
    qint32 Total = 0; // sum of reaction times, ms
    double Mean = 0;  // Total / Count, ms, unrounded
    bool operator==(const StatCell &) const = default;
};

// Cell (time number, cue direction), both 0..6. (0, 0) counts every trial; (j, k) for j = 1..6
// the trials with the j-th distinct presentation time and CueDir k.
using StatTableT = CheckedArray<CheckedArray<StatCell, 7>, 7>;
using TimeListT = CheckedArray<qint16, 7>; // entries 1..TimeCount, order of first appearance

// The statistics of one run, as Analyze leaves them.
struct RunStats {
    StatTableT StatTable;
    TimeListT TimeList;
    qint16 TimeCount = 0;
    qint16 CorrectCount = 0;
    bool operator==(const RunStats &) const = default;
};

} // namespace kivora
