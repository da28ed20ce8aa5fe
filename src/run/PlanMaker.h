#pragma once

#include "run/TrialRec.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <vector>

namespace kivora {

// A new seed for a random order, from the system's source of random numbers.
quint64 freshSeed();

// The positions 1..n in the random order that seed gives: element k (0-based) is the position
// that comes (k + 1)-th. The same seed gives the same order with every compiler and standard
// library: a std::mt19937_64 seeded with seed (its output is fixed by the C++ standard) drives a
// Fisher–Yates shuffle whose draws are made here, not by std::shuffle or
// std::uniform_int_distribution, whose algorithms each standard library chooses for itself:
// for i = n - 1 down to 1, a 64-bit output x at or above 2^64 - (2^64 mod (i + 1)) is drawn
// again, then j = x mod (i + 1), and the elements at i and j swap.
std::vector<int> shuffledOrder(int n, quint64 seed);

// A run in a random order: the plan fields of trials 1..count are taken from plan 1..count in
// the order seed gives (trial k from plan position shuffledOrder(count, seed)[k - 1]). Answer and
// RT are left as they are; the run writes them.
void fillInOrder(const TrialTable &plan, qint16 count, quint64 seed, TrialTable &trials);

// What --make-plan combines: every figure set × cue direction 0..5 × as-it-was/mirrored ×
// presentation time × start direction, each combination `repeats` times.
struct PlanRecipe {
    QList<int> figSets{1, 2, 3, 4};
    QList<int> times{400, 800, 1200}; // ms
    QList<int> startDirs{0};
    int repeats = 1;

    // The number of trials, without overflow for any list lengths and repeats.
    qint64 trialCount() const;
};

// Why a recipe cannot become a plan that the program runs, saying what to reduce or change; an
// empty string when it can. The limits are the plan's: 144 trials, six presentation times.
QString planRecipeProblem(const PlanRecipe &recipe);

// The balanced plan of an acceptable recipe, in one order shuffled with seed.
std::vector<TrialRec> makePlan(const PlanRecipe &recipe, quint64 seed);

// A plan as the plan reader takes it: one trial a line, "FigSet,StartDir,CueDir,Mirror,PresentTime",
// CR LF line ends, no header.
QByteArray planFileText(const std::vector<TrialRec> &plan);

} // namespace kivora
