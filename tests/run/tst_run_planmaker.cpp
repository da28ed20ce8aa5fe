// Plans made by --make-plan and the random orders of --shuffle.
#include "run/PlanMaker.h"
#include "run/PlanReader.h"

#include <QTest>
#include <algorithm>
#include <map>
#include <tuple>

using kivora::PlanRecipe;
using kivora::TrialRec;

Q_DECLARE_METATYPE(PlanRecipe)

namespace {
PlanRecipe recipe(QList<int> figSets, QList<int> times, QList<int> startDirs, int repeats) {
    return PlanRecipe{std::move(figSets), std::move(times), std::move(startDirs), repeats};
}
} // namespace

class tst_run_planmaker : public QObject {
    Q_OBJECT
private slots:
    void balancedPlan_data();
    void balancedPlan();
    void refusedRecipe_data();
    void refusedRecipe();
    void orderIsAPermutation_data();
    void orderIsAPermutation();
    void orderFromSeed_data();
    void orderFromSeed();
    void seedsGiveDifferentPlans();
    void runFilledInOrder();
};

void tst_run_planmaker::balancedPlan_data() {
    QTest::addColumn<PlanRecipe>("recipe");
    QTest::newRow("defaults") << PlanRecipe{};
    QTest::newRow("two start directions") << recipe({1, 3}, {400, 800, 1200}, {0, 3}, 1);
    QTest::newRow("repeats") << recipe({2}, {600}, {0}, 3);
    QTest::newRow("six times") << recipe({4}, {100, 200, 300, 400, 500, 600}, {5}, 1);
}

// Every combination exactly `repeats` times, the same plan from the same seed, and a file that
// the plan reader takes back as it was made.
void tst_run_planmaker::balancedPlan() {
    QFETCH(PlanRecipe, recipe);
    QCOMPARE(kivora::planRecipeProblem(recipe), QString());
    const std::vector<TrialRec> plan = kivora::makePlan(recipe, 99);
    QCOMPARE(qint64(plan.size()), recipe.trialCount());

    std::map<std::tuple<int, int, int, int, int>, int> seen;
    for (const TrialRec &t : plan)
        ++seen[{t.FigSet, t.StartDir, t.CueDir, t.Mirror, t.PresentTime}];
    for (int f : recipe.figSets)
        for (int s : recipe.startDirs)
            for (int c = 0; c <= 5; ++c)
                for (int m = 0; m <= 1; ++m)
                    for (int p : recipe.times)
                        QCOMPARE(seen[std::make_tuple(f, s, c, m, p)], recipe.repeats);
    QCOMPARE(qint64(seen.size()), recipe.trialCount() / recipe.repeats);

    QVERIFY(kivora::makePlan(recipe, 99) == plan);

    const QByteArray text = kivora::planFileText(plan);
    QVERIFY(text.endsWith("\r\n"));
    QCOMPARE(text.count("\r\n"), qsizetype(plan.size()));
    kivora::TrialTable back;
    QCOMPARE(qsizetype(kivora::readPlan(text, u"made.csv"_qs, back)), qsizetype(plan.size()));
    for (std::size_t i = 0; i < plan.size(); ++i)
        QCOMPARE(back[int(i) + 1], plan[i]);
}

void tst_run_planmaker::refusedRecipe_data() {
    QTest::addColumn<PlanRecipe>("recipe");
    QTest::addColumn<QString>("says");
    QTest::newRow("288 trials") << recipe({1, 2, 3, 4}, {400, 800, 1200}, {0, 1}, 1)
                                << u"= 288 trials; a plan holds at most 144: reduce --figsets, --times, "
                                   u"--start-dirs or --repeats"_qs;
    QTest::newRow("145 by repeats") << recipe({1}, {400}, {0}, 13) << u"= 156 trials"_qs;
    QTest::newRow("seven times")
        << recipe({1}, {1, 2, 3, 4, 5, 6, 7}, {0}, 1)
        << u"7 presentation times (1,2,3,4,5,6,7); a plan holds at most 6: reduce --times"_qs;
    QTest::newRow("figure set 5") << recipe({1, 5}, {400}, {0}, 1)
                                  << u"--figsets: 5 is out of range (1 to 4)"_qs;
    QTest::newRow("start direction 6") << recipe({1}, {400}, {6}, 1) << u"--start-dirs: 6 is out of range"_qs;
    QTest::newRow("time 0") << recipe({1}, {0}, {0}, 1) << u"--times: 0 is out of range (1 to 32767)"_qs;
    QTest::newRow("time twice") << recipe({1}, {400, 400}, {0}, 1) << u"--times: 400 is given twice"_qs;
    QTest::newRow("no figure set") << recipe({}, {400}, {0}, 1) << u"--figsets: give at least one value"_qs;
    QTest::newRow("no repeats") << recipe({1}, {400}, {0}, 0) << u"--repeats: 0 is out of range"_qs;
}

void tst_run_planmaker::refusedRecipe() {
    QFETCH(PlanRecipe, recipe);
    QFETCH(QString, says);
    const QString problem = kivora::planRecipeProblem(recipe);
    QVERIFY2(problem.contains(says), qPrintable(problem));
}

void tst_run_planmaker::orderIsAPermutation_data() {
    QTest::addColumn<int>("n");
    QTest::addColumn<quint64>("seed");
    QTest::newRow("none") << 0 << quint64(1);
    QTest::newRow("one") << 1 << quint64(1);
    QTest::newRow("twelve") << 12 << quint64(0);
    QTest::newRow("144, largest seed") << 144 << ~quint64(0);
}

void tst_run_planmaker::orderIsAPermutation() {
    QFETCH(int, n);
    QFETCH(quint64, seed);
    std::vector<int> order = kivora::shuffledOrder(n, seed);
    QCOMPARE(kivora::shuffledOrder(n, seed), order);
    std::sort(order.begin(), order.end());
    for (int k = 0; k < n; ++k)
        QCOMPARE(order[std::size_t(k)], k + 1);
    QCOMPARE(int(order.size()), n);
}

// The orders that the documented algorithm gives, worked out independently (a separate
// mt19937_64 and the same draws): the same on every platform and standard library.
void tst_run_planmaker::orderFromSeed_data() {
    QTest::addColumn<quint64>("seed");
    QTest::addColumn<QList<int>>("order");
    QTest::newRow("seed 1") << quint64(1) << QList<int>{2, 8, 4, 10, 5, 1, 6, 3, 7, 9};
    QTest::newRow("seed 20240501") << quint64(20240501) << QList<int>{5, 1, 2, 3, 8, 7, 9, 10, 6, 4};
}

void tst_run_planmaker::orderFromSeed() {
    QFETCH(quint64, seed);
    QFETCH(QList<int>, order);
    const std::vector<int> got = kivora::shuffledOrder(10, seed);
    QCOMPARE(QList<int>(got.begin(), got.end()), order);
}

void tst_run_planmaker::seedsGiveDifferentPlans() {
    QVERIFY(kivora::makePlan({}, 1) != kivora::makePlan({}, 2));
    QVERIFY(kivora::freshSeed() != kivora::freshSeed());
}

// A shuffled run takes the plan fields in the seed's order and leaves the answers alone.
void tst_run_planmaker::runFilledInOrder() {
    kivora::TrialTable plan;
    kivora::TrialTable trials;
    for (int i = 1; i <= 10; ++i) {
        plan[i] = TrialRec{
            qint16(1 + i % 4), qint16(i % 6), qint16((i * 5) % 6), qint16(i % 2), qint16(100 * i), 0, 0};
        trials[i] = TrialRec{0, 0, 0, 0, 0, 1, 700 + i};
    }
    const std::vector<int> order = kivora::shuffledOrder(10, 7);
    kivora::fillInOrder(plan, 10, 7, trials);
    for (int k = 1; k <= 10; ++k) {
        TrialRec expected = plan[order[std::size_t(k - 1)]];
        expected.Answer = 1;
        expected.RT = 700 + k;
        QCOMPARE(trials[k], expected);
    }
    QCOMPARE(trials[11], TrialRec{});
}

QTEST_GUILESS_MAIN(tst_run_planmaker)
#include "tst_run_planmaker.moc"
