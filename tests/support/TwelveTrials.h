#pragma once

// A twelve-trial plan and the participant who answers it, for the tests that run whole sessions
// (on the run alone or on the main window).

#include <QByteArray>
#include <QtGlobal>

namespace twelve {

// Twelve trials that touch every figure set, start and cue direction, both mirror codes and
// three presentation times.
inline QByteArray plan() {
    return "1,0,0,0,400\r\n"
           "2,1,1,1,800\r\n"
           "3,2,2,0,1200\r\n"
           "4,3,3,1,400\r\n"
           "1,4,4,0,800\r\n"
           "2,5,5,1,1200\r\n"
           "3,0,1,1,400\r\n"
           "4,1,2,0,800\r\n"
           "1,2,3,1,1200\r\n"
           "2,3,4,0,400\r\n"
           "3,4,5,1,800\r\n"
           "4,5,0,0,1200\r\n";
}
constexpr int Trials = 12;

// The participant's reaction time for trial t, ms: spread out, no two alike.
constexpr qint32 plannedRt(int t) {
    return 350 + 53 * t + (t % 4) * 97;
}
// The participant answers as the figure is (correct), except for trials 4 and 9.
inline qint16 plannedAnswer(int t, qint16 mirror) {
    const bool wrong = t == 4 || t == 9;
    return qint16(wrong ? 1 - mirror : mirror);
}
constexpr int PlannedCorrect = Trials - 2;

} // namespace twelve
