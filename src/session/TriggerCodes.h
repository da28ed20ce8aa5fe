#pragma once

#include "run/Stage.h"
#include "run/TrialRec.h"

#include <QtGlobal>

namespace kivora {

// The one-byte codes a run sends to a recorder through its trigger port (--trigger), each at the
// moment it marks: a trial's screens at their onsets, an answer when the key handler takes it,
// and the moments of a run between its trials.
namespace triggercode {
inline constexpr quint8 PracticeText = 10; // a text screen of the practice (announcing a round, its end)
inline constexpr quint8 MainTrials = 20;   // the plan's trials begin (with or without practice)
inline constexpr quint8 BreakText = 30;    // a break's text screen
inline constexpr quint8 RunEnd = 40;       // right after the last answer's code
inline constexpr quint8 Stopped = 41;      // Stop
inline constexpr quint8 CheckFlip = 255;   // every flip of --check-display

// A trial's screen: the countdown 1, the first figure 2, the cue 3, the test figure
// 100 + 10 × d + Mirror, d the step of its angular disparity from upright (0 for 0°, 1 for 60°,
// 2 for 120°, 3 for 180°, as the class report counts it).
quint8 ofStage(Stage stage, const TrialRec &rec);
// An answer: 200 + 10 × correct + key (key 1 or 2).
quint8 ofAnswer(bool correct, int key);
// Whether code is a test figure's.
bool isTestFigure(quint8 code);
} // namespace triggercode

} // namespace kivora
