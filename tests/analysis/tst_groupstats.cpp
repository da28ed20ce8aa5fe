// The report's statistics, on small sets worked out by hand.
#include "analysis/GroupStats.h"

#include <QTest>
#include <cmath>

using kivora::GroupSummary;
using kivora::RunSummary;
using kivora::TrialRec;

namespace {

// A trial of a hand-made run: the disparity picks CueDir (StartDir 0), correct or not.
TrialRec trial(qint16 presentTime, int disparity, qint16 mirror, bool correct, qint32 rt) {
    return TrialRec{1, 0, qint16(disparity / 60), mirror, presentTime, qint16(correct ? mirror : 1 - mirror),
                    rt};
}

// One run at 400 ms, worked out by hand (RT limits 150..10000):
//   0°:   500, 600 as it was, 700 mirrored            -> pooled mean 600
//   60°:  700, 800 correct, 900 an error             -> mean 750
//   120°: 900 correct, 100 correct but too fast       -> mean 900
//   180°: 1000, 1200 correct, 20000 correct too slow  -> mean 1100
// The line through (0, 600), (60, 750), (120, 900), (180, 1100): x̄ 90, ȳ 837.5,
// Sxy 49500, Sxx 18000: slope 2.75 ms/°, intercept 590 ms; residuals 10, −5, −20, 15 give
// SSres 750 and SStot 136875: R² = 1 − 750 / 136875.
// At 800 ms one trial only, at 0°: a mean but no slope.
std::vector<TrialRec> handRun() {
    return {trial(400, 0, 0, true, 500),    trial(400, 0, 0, true, 600),     trial(400, 0, 1, true, 700),
            trial(400, 60, 0, true, 700),   trial(400, 60, 1, true, 800),    trial(400, 60, 1, false, 900),
            trial(400, 120, 0, true, 900),  trial(400, 120, 0, true, 100),   trial(400, 180, 1, true, 1000),
            trial(400, 180, 1, true, 1200), trial(400, 180, 1, true, 20000), trial(800, 0, 0, true, 640)};
}

bool same(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || std::abs(a - b) <= 1e-9 * std::max(1.0, std::abs(b));
}

} // namespace

class tst_groupstats : public QObject {
    Q_OBJECT
private slots:
    void disparity_data();
    void disparity();
    void runCells_data();
    void runCells();
    void runCounts();
    void runLines_data();
    void runLines();
    void groupSummary_data();
    void groupSummary();
    void groupOfRuns();
    void lineFitEdges_data();
    void lineFitEdges();
};

void tst_groupstats::disparity_data() {
    QTest::addColumn<int>("startDir");
    QTest::addColumn<int>("cueDir");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("disparity");
    QTest::newRow("upright") << 0 << 0 << 0 << 0;
    QTest::newRow("60 clockwise") << 0 << 1 << 60 << 60;
    QTest::newRow("180") << 0 << 3 << 180 << 180;
    QTest::newRow("240 is 120 away") << 0 << 4 << 240 << 120;
    QTest::newRow("300 is 60 away") << 0 << 5 << 300 << 60;
    QTest::newRow("start 3 + cue 4 wraps to 60") << 3 << 4 << 60 << 60;
    QTest::newRow("start 5 + cue 5 wraps to 240") << 5 << 5 << 240 << 120;
    QTest::newRow("start 2 + cue 4 wraps to 0") << 2 << 4 << 0 << 0;
}

void tst_groupstats::disparity() {
    QFETCH(int, startDir);
    QFETCH(int, cueDir);
    QFETCH(int, orientation);
    QFETCH(int, disparity);
    const TrialRec t{1, qint16(startDir), qint16(cueDir), 0, 400, 0, 500};
    QCOMPARE(kivora::orientationDeg(t), orientation);
    QCOMPARE(kivora::disparityDeg(t), disparity);
}

void tst_groupstats::runCells_data() {
    QTest::addColumn<int>("time");
    QTest::addColumn<int>("disparity");
    QTest::addColumn<int>("mirror");
    QTest::addColumn<int>("trials");
    QTest::addColumn<int>("correct");
    QTest::addColumn<double>("mean");
    QTest::addColumn<double>("median");
    QTest::addColumn<double>("sd");
    const double none = kivora::NaN;
    QTest::newRow("0 as it was: 500, 600") << 400 << 0 << 0 << 2 << 2 << 550.0 << 550.0 << std::sqrt(5000.0);
    QTest::newRow("0 mirrored: one RT, no SD") << 400 << 0 << 1 << 1 << 1 << 700.0 << 700.0 << none;
    QTest::newRow("60 mirrored: the error left out") << 400 << 60 << 1 << 2 << 1 << 800.0 << 800.0 << none;
    QTest::newRow("120: the fast one left out") << 400 << 120 << 0 << 2 << 2 << 900.0 << 900.0 << none;
    QTest::newRow("180 mirrored: the slow one left out")
        << 400 << 180 << 1 << 3 << 3 << 1100.0 << 1100.0 << std::sqrt(20000.0);
    QTest::newRow("800 ms at 0") << 800 << 0 << 0 << 1 << 1 << 640.0 << 640.0 << none;
}

void tst_groupstats::runCells() {
    QFETCH(int, time);
    QFETCH(int, disparity);
    QFETCH(int, mirror);
    const RunSummary run = kivora::summarizeRun(handRun(), {});
    const auto cell = std::find_if(run.cells.begin(), run.cells.end(), [&](const kivora::RunCell &c) {
        return c.presentTime == time && c.disparity == disparity && c.mirror == mirror;
    });
    QVERIFY(cell != run.cells.end());
    QTEST(cell->trials, "trials");
    QTEST(cell->correct, "correct");
    QFETCH(double, mean);
    QFETCH(double, median);
    QFETCH(double, sd);
    QVERIFY2(same(cell->rt.mean, mean), qPrintable(QString::number(cell->rt.mean)));
    QVERIFY2(same(cell->rt.median, median), qPrintable(QString::number(cell->rt.median)));
    QVERIFY2(same(cell->rt.sd, sd), qPrintable(QString::number(cell->rt.sd)));
}

void tst_groupstats::runCounts() {
    const RunSummary run = kivora::summarizeRun(handRun(), {});
    QCOMPARE(run.trials, 12);
    QCOMPARE(run.correct, 11);
    QCOMPARE(run.tooFast, 1);
    QCOMPARE(run.tooSlow, 1);
    QCOMPARE(run.cells.size(), std::size_t(7)); // the cells that have trials, no more
    // Limits that keep everything: the fast and the slow RT count again.
    const RunSummary wide = kivora::summarizeRun(handRun(), {0, 100000});
    QCOMPARE(wide.excluded(), 0);
    // A limit is inclusive: an RT of exactly 100 or 20000 stays.
    QCOMPARE(kivora::summarizeRun(handRun(), {100, 20000}).excluded(), 0);
}

void tst_groupstats::runLines_data() {
    QTest::addColumn<int>("time");
    QTest::addColumn<QList<double>>("means"); // 0, 60, 120, 180; NaN where none
    QTest::addColumn<double>("slope");
    QTest::addColumn<double>("intercept");
    QTest::addColumn<double>("r2");
    const double none = kivora::NaN;
    QTest::newRow("400 ms: both mirror codes pooled")
        << 400 << QList<double>{600, 750, 900, 1100} << 2.75 << 590.0 << 1 - 750.0 / 136875.0;
    QTest::newRow("800 ms: one disparity, no line")
        << 800 << QList<double>{640, none, none, none} << none << none << none;
}

void tst_groupstats::runLines() {
    QFETCH(int, time);
    QFETCH(QList<double>, means);
    const RunSummary run = kivora::summarizeRun(handRun(), {});
    const auto line = std::find_if(run.lines.begin(), run.lines.end(),
                                   [&](const kivora::RunLine &l) { return l.presentTime == time; });
    QVERIFY(line != run.lines.end());
    for (int d = 0; d < 4; ++d)
        QVERIFY2(same(line->meanRt[std::size_t(d)], means[d]), qPrintable(QString::number(d * 60)));
    QFETCH(double, slope);
    QFETCH(double, intercept);
    QFETCH(double, r2);
    QVERIFY2(same(line->fit.slope, slope), qPrintable(QString::number(line->fit.slope)));
    QVERIFY2(same(line->fit.intercept, intercept), qPrintable(QString::number(line->fit.intercept)));
    QVERIFY2(same(line->fit.r2, r2), qPrintable(QString::number(line->fit.r2)));
}

void tst_groupstats::groupSummary_data() {
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<int>("n");
    QTest::addColumn<double>("mean");
    QTest::addColumn<double>("sd");
    QTest::addColumn<double>("se");
    QTest::addColumn<double>("ciLow");
    QTest::addColumn<double>("t");
    QTest::addColumn<double>("p");
    const double none = kivora::NaN;
    // Slopes 2, 3, 4: mean 3, SD 1, SE 1/√3, t = 3√3 with 2 df. For 2 df the distribution
    // function is F(t) = 1/2 + t / (2√(2 + t²)): p = 1 − 3√3/√29. The 97.5 % point of t(2)
    // is 4.302652729911275: CI 3 ± 4.30265/√3.
    QTest::newRow("2, 3, 4") << QList<double>{2, 3, 4} << 3 << 3.0 << 1.0 << 1 / std::sqrt(3.0)
                             << 3 - 4.302652729911275 / std::sqrt(3.0) << 3 * std::sqrt(3.0)
                             << 1 - 3 * std::sqrt(3.0) / std::sqrt(29.0);
    // Slopes −1, 1: mean 0, SD √2, SE 1, t 0, p 1; t(1)'s 97.5 % point is tan(0.475π).
    QTest::newRow("-1, 1") << QList<double>{-1, 1} << 2 << 0.0 << std::sqrt(2.0) << 1.0
                           << -std::tan(0.475 * M_PI) << 0.0 << 1.0;
    QTest::newRow("one run: a mean only")
        << QList<double>{2.5} << 1 << 2.5 << none << none << none << none << none;
    QTest::newRow("no spread: no test")
        << QList<double>{2, 2} << 2 << 2.0 << 0.0 << 0.0 << 2.0 << none << none;
    QTest::newRow("none") << QList<double>{} << 0 << none << none << none << none << none << none;
}

void tst_groupstats::groupSummary() {
    QFETCH(QList<double>, values);
    const GroupSummary g = kivora::summarizeGroup(std::vector<double>(values.begin(), values.end()));
    QTEST(g.n, "n");
    QFETCH(double, mean);
    QFETCH(double, sd);
    QFETCH(double, se);
    QFETCH(double, ciLow);
    QFETCH(double, t);
    QFETCH(double, p);
    QVERIFY2(same(g.mean, mean), qPrintable(QString::number(g.mean)));
    QVERIFY2(same(g.sd, sd), qPrintable(QString::number(g.sd)));
    QVERIFY2(same(g.se, se), qPrintable(QString::number(g.se)));
    QVERIFY2(same(g.ciLow, ciLow), qPrintable(QString::number(g.ciLow, 'g', 17)));
    QVERIFY2(same(g.ciHigh, std::isnan(ciLow) ? ciLow : 2 * mean - ciLow),
             qPrintable(QString::number(g.ciHigh)));
    QVERIFY2(same(g.t, t), qPrintable(QString::number(g.t)));
    QVERIFY2(same(g.p, p), qPrintable(QString::number(g.p, 'g', 17)));
}

// The group takes each run's line: the slopes into the test, the means per disparity into the
// chart's points; a run without a value there adds nothing to that n.
void tst_groupstats::groupOfRuns() {
    std::vector<RunSummary> runs;
    for (int slope : {2, 3, 4}) {
        std::vector<TrialRec> trials;
        for (int d : kivora::Disparities)
            trials.push_back(trial(400, d, 0, true, 500 + slope * d));
        runs.push_back(kivora::summarizeRun(trials, {}));
    }
    runs.push_back(kivora::summarizeRun({trial(400, 60, 0, true, 800), trial(1200, 0, 0, true, 450)}, {}));
    std::vector<const RunSummary *> pointers;
    for (const RunSummary &r : runs)
        pointers.push_back(&r);
    const std::vector<kivora::GroupLine> group = kivora::summarizeGroup(pointers);
    QCOMPARE(group.size(), std::size_t(2));
    QCOMPARE(group[0].presentTime, qint16(400));
    QCOMPARE(group[1].presentTime, qint16(1200));
    QCOMPARE(group[0].slope.n, 3);
    QVERIFY(same(group[0].slope.mean, 3));
    QCOMPARE(group[0].meanRt[0].n, 3);
    QCOMPARE(group[0].meanRt[1].n, 4); // the fourth run has 60° only
    QVERIFY(same(group[0].meanRt[1].mean, (620 + 680 + 740 + 800) / 4.0));
    QCOMPARE(group[1].slope.n, 0);
    QCOMPARE(group[1].meanRt[0].n, 1);
}

void tst_groupstats::lineFitEdges_data() {
    QTest::addColumn<QList<double>>("x");
    QTest::addColumn<QList<double>>("y");
    QTest::addColumn<double>("slope");
    QTest::addColumn<double>("r2");
    const double none = kivora::NaN;
    QTest::newRow("two points: a perfect line")
        << QList<double>{0, 180} << QList<double>{500, 950} << 2.5 << 1.0;
    QTest::newRow("flat: slope 0, a perfect fit")
        << QList<double>{0, 60, 120} << QList<double>{700, 700, 700} << 0.0 << 1.0;
    QTest::newRow("one x: no line") << QList<double>{60, 60} << QList<double>{700, 800} << none << none;
    QTest::newRow("nothing") << QList<double>{} << QList<double>{} << none << none;
}

void tst_groupstats::lineFitEdges() {
    QFETCH(QList<double>, x);
    QFETCH(QList<double>, y);
    QFETCH(double, slope);
    QFETCH(double, r2);
    const kivora::LineFit fit = kivora::fitLine({x.begin(), x.end()}, {y.begin(), y.end()});
    QVERIFY2(same(fit.slope, slope), qPrintable(QString::number(fit.slope)));
    QVERIFY2(same(fit.r2, r2), qPrintable(QString::number(fit.r2)));
}

QTEST_GUILESS_MAIN(tst_groupstats)
#include "tst_groupstats.moc"
