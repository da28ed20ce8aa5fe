#pragma once

#include "results/SessionData.h"
#include "run/TrialRec.h"

#include <QString>
#include <QStringList>

namespace kivora {

// A study around the plan's trials: practice rounds before them, with feedback after every
// answer and repeated while a round's share of correct answers stays below a criterion (three
// rounds at most), and breaks during them. Without a practice plan and without breaks a run is
// the plan's trials alone.
struct Study {
    TrialTable practice;      // the practice plan, trials 1..practiceCount
    qint16 practiceCount = 0; // 0: no practice
    int criterionPercent = 0; // a round whose share of correct answers is below this is repeated
    int breakEvery = 0;       // a break after every this many main trials; 0: none

    static constexpr int MaxRounds = MaxPracticeRounds;
    static constexpr qint32 FeedbackMs = 1000; // how long the caption says how an answer went
};

// The texts a study shows, each a screen of paragraphs in the picture area (drawTextScreen),
// and the caption after a practice answer.
namespace studytext {
QStringList practiceIntro();
QStringList practiceAgain(int percent);
QStringList practiceDone();
QStringList pause(int done, int total);
// "正解　523 ミリ秒" or "不正解　523 ミリ秒".
QString feedback(bool correct, qint32 rtMs);
} // namespace studytext

// The share of correct answers in whole per cent, as "正答率 N %" says it: rounded, halves to
// the even neighbour.
int percentCorrect(int correct, int trials);

} // namespace kivora
