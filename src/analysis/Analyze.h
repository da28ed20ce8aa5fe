#pragma once

#include "analysis/StatCell.h"
#include "run/TrialRec.h"

namespace kivora {

// Walks records 1..trialCount of the trial table once and rewrites the statistics: the overall
// cell (0, 0), the presentation times in the order they first appear, the cell (time number,
// CueDir) of every trial and the number of correct answers. The means are running means of the
// integer totals, unrounded.
//
// Counts and totals are overflow-tested (error 6); a trial index above 144, a seventh distinct
// presentation time or a CueDir outside 0..6 is a subscript error (9). The error is raised at
// the first failing step and whatever was updated before it stays as it is.
void Analyze(const TrialTable &trials, qint16 trialCount, RunStats &stats);

} // namespace kivora
