#pragma once

#include "analysis/StatCell.h"
#include "run/TrialRec.h"
#include "session/TrialRun.h"

#include <QString>

// The program-wide state. It lives as long as the process and starts zero or empty; the main
// window's run works on it, and the windows' handlers read and write it directly by these names.
namespace basTime {

inline kivora::RunState State;

inline kivora::TrialTable &Trials = State.Trials;
inline qint16 &TrialCount = State.TrialCount;
inline QString &SubjectName = State.SubjectName;

// Statistics of the last completed run (written by Analyze, read by the results window).
inline kivora::RunStats &Stats = State.Stats;
inline kivora::StatTableT &StatTable = Stats.StatTable;
inline kivora::TimeListT &TimeList = Stats.TimeList;
inline qint16 &TimeCount = Stats.TimeCount;
inline qint16 &CorrectCount = Stats.CorrectCount;

// Back to the state of a fresh process (for tests that run several sessions in one process).
void reset();

} // namespace basTime
