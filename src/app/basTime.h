#pragma once

#include "analysis/StatCell.h"
#include "run/TrialRec.h"

#include <QString>

// The program-wide state. It lives as long as the process, starts zero or empty, and the
// windows' handlers read and write it directly.
namespace basTime {

inline kivora::TrialTable Trials;
inline qint16 TrialCount = 0;
inline QString SubjectName;

// Statistics of the last completed run (written by Analyze, read by the results window).
inline kivora::RunStats Stats;
inline kivora::StatTableT &StatTable = Stats.StatTable;
inline kivora::TimeListT &TimeList = Stats.TimeList;
inline qint16 &TimeCount = Stats.TimeCount;
inline qint16 &CorrectCount = Stats.CorrectCount;

// Back to the state of a fresh process (for tests that run several sessions in one process).
void reset();

} // namespace basTime
