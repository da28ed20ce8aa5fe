#include "run/PlanMaker.h"

#include "run/PlanReader.h"

#include <QSet>
#include <QStringList>
#include <limits>
#include <random>

namespace kivora {

namespace {

// A value in 0..bound - 1 from one or more 64-bit outputs, without the bias of a bare modulo.
quint64 drawBelow(std::mt19937_64 &generator, quint64 bound) {
    const quint64 rest = (0 - bound) % bound; // 2^64 mod bound
    for (;;) {
        const quint64 x = generator();
        if (rest == 0 || x < 0 - rest)
            return x % bound;
    }
}

QString listed(const QList<int> &values) {
    QStringList parts;
    for (int v : values)
        parts << QString::number(v);
    return parts.join(u',');
}

// Why one list of the recipe is unusable as values of field, or an empty string.
QString listProblem(const QString &option, const QList<int> &values, const PlanField &field) {
    if (values.isEmpty())
        return u"%1: give at least one value"_qs.arg(option);
    QSet<int> seen;
    for (int v : values) {
        if (v < field.low || v > field.high)
            return u"%1: %2 is out of range (%3 to %4)"_qs.arg(option).arg(v).arg(field.low).arg(field.high);
        if (seen.contains(v))
            return u"%1: %2 is given twice"_qs.arg(option).arg(v);
        seen.insert(v);
    }
    return {};
}

} // namespace

quint64 freshSeed() {
    std::random_device device;
    return (quint64(device()) << 32) ^ quint64(device());
}

std::vector<int> shuffledOrder(int n, quint64 seed) {
    std::vector<int> order;
    order.reserve(std::size_t(std::max(n, 0)));
    for (int k = 1; k <= n; ++k)
        order.push_back(k);
    std::mt19937_64 generator(seed);
    for (int i = n - 1; i >= 1; --i) {
        const auto j = std::size_t(drawBelow(generator, quint64(i) + 1));
        std::swap(order[std::size_t(i)], order[j]);
    }
    return order;
}

void fillInOrder(const TrialTable &plan, qint16 count, quint64 seed, TrialTable &trials) {
    const std::vector<int> order = shuffledOrder(count, seed);
    for (int k = 1; k <= count; ++k) {
        const TrialRec &from = plan[order[std::size_t(k - 1)]];
        TrialRec &to = trials[k];
        to.FigSet = from.FigSet;
        to.StartDir = from.StartDir;
        to.CueDir = from.CueDir;
        to.Mirror = from.Mirror;
        to.PresentTime = from.PresentTime;
    }
}

qint64 PlanRecipe::trialCount() const {
    // Each factor is at most a few thousand list entries, except repeats: saturate there so the
    // product stays far inside 64 bits.
    const qint64 perRepeat = qint64(figSets.size()) * 6 * 2 * qint64(times.size()) * qint64(startDirs.size());
    const qint64 r = std::clamp<qint64>(repeats, 0, 1'000'000);
    return perRepeat * r;
}

QString planRecipeProblem(const PlanRecipe &recipe) {
    for (const QString &problem :
         {listProblem(u"--figsets"_qs, recipe.figSets, planField(&TrialRec::FigSet)),
          listProblem(u"--times"_qs, recipe.times, planField(&TrialRec::PresentTime)),
          listProblem(u"--start-dirs"_qs, recipe.startDirs, planField(&TrialRec::StartDir))}) {
        if (!problem.isEmpty())
            return problem;
    }
    if (recipe.repeats < 1)
        return u"--repeats: %1 is out of range (1 or more)"_qs.arg(recipe.repeats);
    if (recipe.times.size() > MaxPresentTimes)
        return u"%1 presentation times (%2); a plan holds at most %3: reduce --times"_qs
            .arg(recipe.times.size())
            .arg(listed(recipe.times))
            .arg(MaxPresentTimes);
    const qint64 count = recipe.trialCount();
    if (count > MaxTrials)
        return u"%1 figure sets × 6 cue directions × 2 (as it was, mirrored) × %2 presentation times × %3 "
               u"start "
               u"directions × %4 repeats = %5 trials; a plan holds at most %6: reduce --figsets, --times, "
               u"--start-dirs or --repeats"_qs.arg(recipe.figSets.size())
                   .arg(recipe.times.size())
                   .arg(recipe.startDirs.size())
                   .arg(recipe.repeats)
                   .arg(count)
                   .arg(MaxTrials);
    return {};
}

std::vector<TrialRec> makePlan(const PlanRecipe &recipe, quint64 seed) {
    // Every combination in a fixed nested order, then one shuffle of the whole.
    std::vector<TrialRec> combined;
    for (int r = 0; r < recipe.repeats; ++r)
        for (int figSet : recipe.figSets)
            for (int cueDir = 0; cueDir <= 5; ++cueDir)
                for (int mirror = 0; mirror <= 1; ++mirror)
                    for (int time : recipe.times)
                        for (int startDir : recipe.startDirs) {
                            TrialRec t;
                            t.FigSet = qint16(figSet);
                            t.StartDir = qint16(startDir);
                            t.CueDir = qint16(cueDir);
                            t.Mirror = qint16(mirror);
                            t.PresentTime = qint16(time);
                            combined.push_back(t);
                        }
    std::vector<TrialRec> plan;
    plan.reserve(combined.size());
    for (int position : shuffledOrder(int(combined.size()), seed))
        plan.push_back(combined[std::size_t(position - 1)]);
    return plan;
}

QByteArray planFileText(const std::vector<TrialRec> &plan) {
    QByteArray out;
    for (const TrialRec &t : plan) {
        out += QByteArray::number(t.FigSet) + ',' + QByteArray::number(t.StartDir) + ',' +
               QByteArray::number(t.CueDir) + ',' + QByteArray::number(t.Mirror) + ',' +
               QByteArray::number(t.PresentTime) + "\r\n";
    }
    return out;
}

} // namespace kivora
