#include "analysis/Analyze.h"

#include <QList>
#include <QTest>

using kivora::RunStats;
using kivora::RuntimeError;
using kivora::StatCell;
using kivora::TrialRec;
using kivora::TrialTable;

namespace {

// A trial as the analysis sees it; the plan fields it ignores stay 0.
struct Trial {
    qint16 presentTime;
    qint16 cueDir;
    qint32 rt;
    qint16 mirror = 0;
    qint16 answer = 0;
};

// Where a statistics cell is expected to differ from an empty one.
struct Cell {
    int time;
    int dir;
    qint16 count;
    qint32 total;
    double mean;
};

using Trials = QList<Trial>;
using Cells = QList<Cell>;
using Times = QList<qint16>;

// Records 1..n from the list; record 0 and the records after the run hold values that would
// show up in the statistics if they were read.
TrialTable tableOf(const Trials &trials) {
    TrialTable table;
    table[0] = TrialRec{1, 1, 1, 1, 999, 0, 55555};
    for (int i = 0; i < trials.size(); ++i) {
        const Trial &t = trials[i];
        table[i + 1] = TrialRec{1, 0, t.cueDir, t.mirror, t.presentTime, t.answer, t.rt};
    }
    if (trials.size() < kivora::MaxTrials)
        table[int(trials.size()) + 1] = TrialRec{1, 1, 3, 1, 777, 1, 44444};
    return table;
}

QString cellText(const StatCell &c) {
    return u"Count %1, Total %2, Mean %3"_qs.arg(c.Count).arg(c.Total).arg(c.Mean, 0, 'g', 17);
}

// Every one of the 49 cells against the expectation, empty unless listed.
void compareTable(const RunStats &stats, const Cells &expected) {
    for (int j = 0; j < 7; ++j) {
        for (int k = 0; k < 7; ++k) {
            StatCell want;
            for (const Cell &c : expected)
                if (c.time == j && c.dir == k)
                    want = StatCell{c.count, c.total, c.mean};
            const QString where = u"cell (%1, %2)"_qs.arg(j).arg(k);
            QVERIFY2(stats.StatTable[j][k] == want,
                     qPrintable(where + u": "_qs + cellText(stats.StatTable[j][k]) + u", expected "_qs +
                                cellText(want)));
        }
    }
}

Times timesOf(const RunStats &stats) {
    Times times;
    for (int j = 1; j <= stats.TimeCount; ++j)
        times << stats.TimeList[j];
    return times;
}

} // namespace

Q_DECLARE_METATYPE(Trials)
Q_DECLARE_METATYPE(Cells)

class tst_Analysis : public QObject {
    Q_OBJECT
private slots:
    void analyze_data();
    void analyze();
    void analyzeTwice();
    void staleStateIsReset();
    void refused_data();
    void refused();
};

void tst_Analysis::analyze_data() {
    QTest::addColumn<Trials>("trials");
    QTest::addColumn<Times>("times");
    QTest::addColumn<qint16>("correct");
    QTest::addColumn<Cells>("cells");

    QTest::newRow("no trials") << Trials{} << Times{} << qint16(0) << Cells{};

    QTest::newRow("single trial of 734 ms") << Trials{{1200, 3, 734}} << Times{1200} << qint16(1)
                                            << Cells{{0, 0, 1, 734, 734.0}, {1, 3, 1, 734, 734.0}};

    QTest::newRow("times in order of first appearance")
        << Trials{{800, 0, 500}, {400, 1, 600}, {800, 0, 700}, {1200, 2, 900}} << Times{800, 400, 1200}
        << qint16(4)
        << Cells{
               {0, 0, 4, 2700, 675.0}, {1, 0, 2, 1200, 600.0}, {2, 1, 1, 600, 600.0}, {3, 2, 1, 900, 900.0}};

    QTest::newRow("running mean of 300 and 301")
        << Trials{{400, 2, 300}, {400, 2, 301}} << Times{400} << qint16(2)
        << Cells{{0, 0, 2, 601, 300.5}, {1, 2, 2, 601, 300.5}};

    // 1000 / 3 is not a whole number: the mean is the quotient of the sums, not a rounded one.
    QTest::newRow("unrounded mean of three")
        << Trials{{400, 5, 333}, {400, 5, 333}, {400, 5, 334}} << Times{400} << qint16(3)
        << Cells{{0, 0, 3, 1000, 1000.0 / 3.0}, {1, 5, 3, 1000, 1000.0 / 3.0}};

    QTest::newRow("cue direction 6 has its own cell")
        << Trials{{400, 6, 450}, {400, 0, 550}} << Times{400} << qint16(2)
        << Cells{{0, 0, 2, 1000, 500.0}, {1, 6, 1, 450, 450.0}, {1, 0, 1, 550, 550.0}};

    QTest::newRow("same direction, different times")
        << Trials{{400, 4, 410}, {1200, 4, 1210}, {400, 4, 430}} << Times{400, 1200} << qint16(3)
        << Cells{{0, 0, 3, 2050, 2050.0 / 3.0}, {1, 4, 2, 840, 420.0}, {2, 4, 1, 1210, 1210.0}};

    QTest::newRow("correct answers by plain equality")
        << Trials{{400, 0, 100, 1, 1},
                  {400, 0, 100, 0, 1},
                  {400, 0, 100, 0, 0},
                  {400, 0, 100, 1, 0},
                  {400, 0, 100, 2, 2}}
        << Times{400} << qint16(3) << Cells{{0, 0, 5, 500, 100.0}, {1, 0, 5, 500, 100.0}};

    QTest::newRow("negative reaction time") << Trials{{400, 1, -20}, {400, 1, 10}} << Times{400} << qint16(2)
                                            << Cells{{0, 0, 2, -10, -5.0}, {1, 1, 2, -10, -5.0}};

    QTest::newRow("zero presentation time is a time like any other")
        << Trials{{0, 1, 100}, {0, 1, 200}} << Times{0} << qint16(2)
        << Cells{{0, 0, 2, 300, 150.0}, {1, 1, 2, 300, 150.0}};

    QTest::newRow("six distinct times fill the table")
        << Trials{{100, 0, 1}, {200, 1, 2}, {300, 2, 3}, {400, 3, 4}, {500, 4, 5}, {600, 5, 6}, {100, 0, 3}}
        << Times{100, 200, 300, 400, 500, 600} << qint16(7)
        << Cells{{0, 0, 7, 24, 24.0 / 7.0}, {1, 0, 2, 4, 2.0}, {2, 1, 1, 2, 2.0}, {3, 2, 1, 3, 3.0},
                 {4, 3, 1, 4, 4.0},         {5, 4, 1, 5, 5.0}, {6, 5, 1, 6, 6.0}};

    // The largest total that fits: 2147483647 = 32767 * 65538 + 1; two trials reach it exactly.
    QTest::newRow("total at the 32-bit limit")
        << Trials{{400, 0, 2147483000}, {400, 0, 647}} << Times{400} << qint16(2)
        << Cells{{0, 0, 2, 2147483647, 2147483647.0 / 2.0}, {1, 0, 2, 2147483647, 2147483647.0 / 2.0}};

    Trials full;
    for (int i = 0; i < kivora::MaxTrials; ++i)
        full << Trial{qint16(i % 2 == 0 ? 400 : 1200), qint16(i % 6), 500, 0, qint16(i % 3 == 0 ? 1 : 0)};
    QTest::newRow("a full plan of 144 trials")
        << full << Times{400, 1200} << qint16(96)
        << Cells{{0, 0, 144, 72000, 500.0}, {1, 0, 24, 12000, 500.0}, {1, 2, 24, 12000, 500.0},
                 {1, 4, 24, 12000, 500.0},  {2, 1, 24, 12000, 500.0}, {2, 3, 24, 12000, 500.0},
                 {2, 5, 24, 12000, 500.0}};
}

void tst_Analysis::analyze() {
    QFETCH(Trials, trials);
    QFETCH(Times, times);
    QFETCH(qint16, correct);
    QFETCH(Cells, cells);

    RunStats stats;
    kivora::Analyze(tableOf(trials), qint16(trials.size()), stats);

    QCOMPARE(stats.TimeCount, qint16(times.size()));
    QCOMPARE(timesOf(stats), times);
    QCOMPARE(stats.CorrectCount, correct);
    compareTable(stats, cells);
}

void tst_Analysis::analyzeTwice() {
    const TrialTable table = tableOf({{800, 1, 500, 1, 1}, {400, 2, 650}, {800, 1, 520, 0, 1}});
    RunStats first;
    kivora::Analyze(table, 3, first);
    RunStats second = first;
    kivora::Analyze(table, 3, second);
    QVERIFY(second == first);
    QCOMPARE(second.StatTable[1][1], (StatCell{2, 1020, 510.0}));
    QCOMPARE(second.CorrectCount, qint16(2));
}

// What a previous run left behind is emptied, except the TimeList entries past TimeCount, which
// are never read.
void tst_Analysis::staleStateIsReset() {
    RunStats stats;
    for (int j = 0; j < 7; ++j)
        for (int k = 0; k < 7; ++k)
            stats.StatTable[j][k] = StatCell{5, 50, 10.0};
    for (int j = 0; j < 7; ++j)
        stats.TimeList[j] = qint16(100 * j + 1);
    stats.TimeCount = 6;
    stats.CorrectCount = 40;

    kivora::Analyze(tableOf({{900, 2, 300}}), 1, stats);

    QCOMPARE(stats.TimeCount, qint16(1));
    QCOMPARE(stats.CorrectCount, qint16(1));
    QCOMPARE(stats.TimeList[1], qint16(900));
    QCOMPARE(stats.TimeList[2], qint16(201));
    QCOMPARE(stats.TimeList[6], qint16(601));
    compareTable(stats, {{0, 0, 1, 300, 300.0}, {1, 2, 1, 300, 300.0}});
}

// Refused runs: which error, at which record the analysis stopped (the overall count is the
// number of the record that was being counted), and what it had written by then.
void tst_Analysis::refused_data() {
    QTest::addColumn<Trials>("trials");
    QTest::addColumn<int>("trialCount");
    QTest::addColumn<int>("error");
    QTest::addColumn<qint16>("stoppedAt");
    QTest::addColumn<Times>("times");
    QTest::addColumn<qint16>("correct");
    QTest::addColumn<Cells>("cells");

    QTest::newRow("overall total overflows on trial 2")
        << Trials{{400, 0, 2147483000}, {400, 1, 648}, {400, 0, 1}} << 3 << int(kivora::ErrOverflow)
        << qint16(2) << Times{400} << qint16(1)
        << Cells{{0, 0, 2, 2147483000, 2147483000.0}, {1, 0, 1, 2147483000, 2147483000.0}};

    QTest::newRow("overall total underflows on trial 2")
        << Trials{{400, 0, -2147483000}, {400, 0, -649}} << 2 << int(kivora::ErrOverflow) << qint16(2)
        << Times{400} << qint16(1)
        << Cells{{0, 0, 2, -2147483000, -2147483000.0}, {1, 0, 1, -2147483000, -2147483000.0}};

    // The overall total stays in range thanks to a negative time elsewhere; the cell's does not.
    QTest::newRow("cell total overflows on trial 3")
        << Trials{{400, 0, 2147483600}, {400, 1, -100}, {400, 0, 100}} << 3 << int(kivora::ErrOverflow)
        << qint16(3) << Times{400} << qint16(2)
        << Cells{{0, 0, 3, 2147483600, 2147483600.0 / 3.0},
                 {1, 0, 2, 2147483600, 2147483600.0},
                 {1, 1, 1, -100, -100.0}};

    QTest::newRow("seventh presentation time")
        << Trials{{100, 0, 10}, {200, 0, 10}, {300, 0, 10}, {400, 0, 10},
                  {500, 0, 10}, {600, 0, 10}, {700, 0, 10}, {100, 0, 10}}
        << 8 << int(kivora::ErrSubscript) << qint16(7) << Times{100, 200, 300, 400, 500, 600, 0} << qint16(6)
        << Cells{{0, 0, 7, 70, 10.0}, {1, 0, 1, 10, 10.0}, {2, 0, 1, 10, 10.0}, {3, 0, 1, 10, 10.0},
                 {4, 0, 1, 10, 10.0}, {5, 0, 1, 10, 10.0}, {6, 0, 1, 10, 10.0}};

    QTest::newRow("cue direction 7 on a new time")
        << Trials{{400, 1, 300}, {800, 7, 350}} << 2 << int(kivora::ErrSubscript) << qint16(2)
        << Times{400, 800} << qint16(1) << Cells{{0, 0, 2, 650, 325.0}, {1, 1, 1, 300, 300.0}};

    QTest::newRow("cue direction -1 on a known time")
        << Trials{{400, 1, 300}, {400, -1, 350}} << 2 << int(kivora::ErrSubscript) << qint16(2) << Times{400}
        << qint16(1) << Cells{{0, 0, 2, 650, 325.0}, {1, 1, 1, 300, 300.0}};

    Trials full;
    for (int i = 0; i < kivora::MaxTrials; ++i)
        full << Trial{400, 0, 1};
    QTest::newRow("trial count past the table")
        << full << kivora::MaxTrials + 1 << int(kivora::ErrSubscript) << qint16(144) << Times{400}
        << qint16(144) << Cells{{0, 0, 144, 144, 1.0}, {1, 0, 144, 144, 1.0}};
}

void tst_Analysis::refused() {
    QFETCH(Trials, trials);
    QFETCH(int, trialCount);
    QFETCH(int, error);
    QFETCH(qint16, stoppedAt);
    QFETCH(Times, times);
    QFETCH(qint16, correct);
    QFETCH(Cells, cells);

    RunStats stats;
    int raised = 0;
    try {
        kivora::Analyze(tableOf(trials), qint16(trialCount), stats);
    } catch (const RuntimeError &e) {
        raised = e.number();
    }
    QCOMPARE(raised, error);
    QCOMPARE(stats.StatTable[0][0].Count, stoppedAt);
    // A seventh time is refused by TimeList(7) after TimeCount has been raised to 7.
    QCOMPARE(stats.TimeCount, qint16(times.size()));
    for (int j = 1; j <= std::min<int>(stats.TimeCount, 6); ++j)
        QCOMPARE(stats.TimeList[j], times[j - 1]);
    QCOMPARE(stats.CorrectCount, correct);
    compareTable(stats, cells);
}

QTEST_APPLESS_MAIN(tst_Analysis)
#include "tst_analysis.moc"
