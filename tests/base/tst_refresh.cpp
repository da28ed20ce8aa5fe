// The timing arithmetic of the Windows presenters, on every system: counter ticks in the
// program's clock, the compositor's refresh grid (which refresh a screen is composed at, when its
// picture is handed over, its onset, whether it came late, whether the grid is live), and when a
// present came on screen by the swap chain's frame statistics. Values as Windows gives them:
// QueryPerformanceCounter at 10 MHz (Windows 10 and 11) or 3.579545 MHz (older PCs), 60 Hz,
// 59.94 Hz and 144 Hz displays, counters some hours after start-up.
#include "base/Clock.h"
#include "base/PresentStatistics.h"
#include "base/RefreshGrid.h"

#include <QTest>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace kivora;

Q_DECLARE_METATYPE(kivora::RefreshGrid)
Q_DECLARE_METATYPE(kivora::FrameStatistics)
Q_DECLARE_METATYPE(kivora::PresentOnset::State)

namespace {
constexpr qint64 Qpc10MHz = 10'000'000, Qpc358MHz = 3'579'545;
// Timing info 30 hours after start-up, 60 Hz, read by a 10 MHz counter.
const RefreshGrid Grid60 = RefreshGrid::fromTimingInfo(166'667, 1'080'000'000'000, 6'480'000, Qpc10MHz);
// 144 Hz, six minutes after start-up.
const RefreshGrid Grid144 = RefreshGrid::fromTimingInfo(69'444, 3'600'000'000, 51'840, Qpc10MHz);
// 59.94 Hz on a 3.579545 MHz counter, an hour after start-up.
const RefreshGrid Grid5994 = RefreshGrid::fromTimingInfo(59'719, 12'886'362'000, 215'784, Qpc358MHz);

// The same grid read again `refreshes` refreshes later, its vblank time off by offUs.
RefreshGrid later(const RefreshGrid &grid, qint64 refreshes, qint64 offUs = 0) {
    return {grid.periodUs, grid.startUs(grid.refresh + refreshes) + offUs, grid.refresh + refreshes};
}
} // namespace

class tst_refresh : public QObject {
    Q_OBJECT
private slots:
    void ticksToUs_data();
    void ticksToUs();
    void ticksAreTheSteadyClock();
    void stage_data();
    void stage();
    void handedOver_data();
    void handedOver();
    void asSoonAsPossible();
    void gridLive_data();
    void gridLive();
    void gridNotLive_data();
    void gridNotLive();
    void presentOnset_data();
    void presentOnset();
    void disjoint_data();
    void disjoint();
};

void tst_refresh::ticksToUs_data() {
    QTest::addColumn<qint64>("ticks");
    QTest::addColumn<qint64>("frequency");
    QTest::addColumn<qint64>("us");
    QTest::newRow("10 MHz: a tenth of a µs cut off")
        << qint64(1'080'000'166'669) << Qpc10MHz << qint64(108'000'016'666);
    // 1'789'772 ticks are 499'999.860 µs: the nanoseconds rounded, the microseconds cut down.
    QTest::newRow("3.58 MHz") << qint64(5 * Qpc358MHz + 1'789'772) << Qpc358MHz << qint64(5'499'999);
    // The last tick of a second at 3 GHz is 999'999'999.67 ns: rounded, it is the next second.
    QTest::newRow("3 GHz: rounded into the next second")
        << qint64(3'000'000'000LL * 2 + 2'999'999'999LL) << qint64(3'000'000'000LL) << qint64(3'000'000);
}

void tst_refresh::ticksToUs() {
    QFETCH(qint64, ticks);
    QFETCH(qint64, frequency);
    QFETCH(qint64, us);
    QCOMPARE(qpcTicksToUs(ticks, frequency), us);
}

// The counter's ticks, converted, are readings of the program's own clock.
void tst_refresh::ticksAreTheSteadyClock() {
#ifdef Q_OS_WIN
    LARGE_INTEGER frequency, ticks;
    QueryPerformanceFrequency(&frequency);
    const qint64 before = SteadyClock::instance().nowUs();
    QueryPerformanceCounter(&ticks);
    const qint64 after = SteadyClock::instance().nowUs();
    const qint64 us = qpcTicksToUs(ticks.QuadPart, frequency.QuadPart);
    QVERIFY2(before <= us && us <= after, qPrintable(u"%1 <= %2 <= %3"_qs.arg(before).arg(us).arg(after)));
#else
    QSKIP("QueryPerformanceCounter is Windows'");
#endif
}

// A screen of N refreshes after the one composed at a refresh of the grid, and the screen after
// it, N again.
void tst_refresh::stage_data() {
    QTest::addColumn<RefreshGrid>("grid");
    QTest::addColumn<int>("refreshes");
    QTest::newRow("60 Hz, 1000 ms") << Grid60 << 60;
    QTest::newRow("60 Hz, one refresh") << Grid60 << 1;
    QTest::newRow("144 Hz, 400 ms") << Grid144 << 58;
    QTest::newRow("59.94 Hz on a 3.58 MHz counter, 2000 ms") << Grid5994 << 120;
}

void tst_refresh::stage() {
    QFETCH(RefreshGrid, grid);
    QFETCH(int, refreshes);
    const qint64 previous = grid.refresh + 2;
    const GridStage stage = planOnGrid(grid, previous, refreshes);
    QCOMPARE(stage.target, previous + refreshes);
    // Handed over early in the refresh before the target, and composed at the target then.
    QCOMPARE(grid.refreshAt(stage.handOverUs), stage.target - 1);
    QVERIFY(stage.handOverUs - grid.startUs(stage.target - 1) <= grid.periodUs / 4);
    const GridOnset onset = composedOnGrid(grid, stage.target, stage.handOverUs);
    QCOMPARE(onset.refresh, stage.target);
    QVERIFY(!onset.late);
    QCOMPARE(onset.us, stage.onsetUs);
    // The next screen, N refreshes on, comes N periods later (to the µs the grid is rounded to).
    const GridStage next = planOnGrid(grid, stage.target, refreshes);
    QVERIFY(std::abs(double(next.onsetUs - stage.onsetUs) - refreshes * grid.periodUs) <= 1);
}

// A picture handed over at a moment into a refresh near its target (into: relative to the
// target, -1 the refresh before it; offsetUs into that refresh), and how many refreshes late it
// is composed.
void tst_refresh::handedOver_data() {
    QTest::addColumn<RefreshGrid>("grid");
    QTest::addColumn<int>("into");
    QTest::addColumn<qint64>("offsetUs");
    QTest::addColumn<int>("late");
    QTest::newRow("60 Hz, at the very end of the refresh before") << Grid60 << 0 << qint64(-1) << 0;
    QTest::newRow("60 Hz, at the target's start") << Grid60 << 0 << qint64(0) << 1;
    QTest::newRow("60 Hz, a refresh and a half late") << Grid60 << 1 << qint64(8'000) << 2;
    QTest::newRow("144 Hz, in the target's refresh") << Grid144 << 0 << qint64(3'000) << 1;
    QTest::newRow("59.94 Hz, half-way through the refresh before") << Grid5994 << -1 << qint64(8'300) << 0;
}

void tst_refresh::handedOver() {
    QFETCH(RefreshGrid, grid);
    QFETCH(int, into);
    QFETCH(qint64, offsetUs);
    QFETCH(int, late);
    const GridStage stage = planOnGrid(grid, grid.refresh + 5, 24);
    const GridOnset onset = composedOnGrid(grid, stage.target, grid.startUs(stage.target + into) + offsetUs);
    QCOMPARE(onset.refresh, stage.target + late);
    QCOMPARE(onset.late, late > 0);
    // Never shortened: a late screen's onset is later than planned by the refreshes it missed.
    QVERIFY(std::abs(double(onset.us - stage.onsetUs) - late * grid.periodUs) <= 1);
}

// With no target (the first screen), the picture is composed at the next refresh, never late.
void tst_refresh::asSoonAsPossible() {
    const qint64 at = Grid60.startUs(Grid60.refresh + 7) + 12'000;
    const GridOnset onset = composedOnGrid(Grid60, -1, at);
    QCOMPARE(onset.refresh, Grid60.refreshAt(at) + 1);
    QVERIFY(!onset.late);
}

// Two readings of the timing info, elapsedUs apart.
void tst_refresh::gridLive_data() {
    QTest::addColumn<RefreshGrid>("first");
    QTest::addColumn<RefreshGrid>("second");
    QTest::addColumn<qint64>("elapsedUs");
    QTest::newRow("60 Hz, a period later") << Grid60 << later(Grid60, 1) << qint64(16'667);
    QTest::newRow("60 Hz, a period later, vblank 40 us off")
        << Grid60 << later(Grid60, 1, 40) << qint64(16'700);
    QTest::newRow("144 Hz, a second later") << Grid144 << later(Grid144, 144) << qint64(1'000'000);
    QTest::newRow("60 Hz, read just before and just after two vblanks")
        << Grid60 << later(Grid60, 2) << qint64(17'000);
}

void tst_refresh::gridLive() {
    QFETCH(RefreshGrid, first);
    QFETCH(RefreshGrid, second);
    QFETCH(qint64, elapsedUs);
    QVERIFY(gridAdvances(first, second, elapsedUs));
}

void tst_refresh::gridNotLive_data() {
    QTest::addColumn<RefreshGrid>("first");
    QTest::addColumn<RefreshGrid>("second");
    QTest::addColumn<qint64>("elapsedUs");
    QTest::newRow("the same refresh a period later") << Grid60 << Grid60 << qint64(16'667);
    QTest::newRow("the same refresh a second later") << Grid144 << Grid144 << qint64(1'000'000);
    QTest::newRow("the count went back") << later(Grid60, 1) << Grid60 << qint64(16'667);
    QTest::newRow("counted on, vblank time stood still")
        << Grid60 << RefreshGrid{Grid60.periodUs, Grid60.vblankUs, Grid60.refresh + 1} << qint64(16'667);
    QTest::newRow("more refreshes than the time holds") << Grid60 << later(Grid60, 10) << qint64(16'667);
    QTest::newRow("no period") << RefreshGrid{} << RefreshGrid{} << qint64(16'667);
}

void tst_refresh::gridNotLive() {
    QFETCH(RefreshGrid, first);
    QFETCH(RefreshGrid, second);
    QFETCH(qint64, elapsedUs);
    QVERIFY(!gridAdvances(first, second, elapsedUs));
}

// Frame statistics read after a Present call (its present count and target refresh), and when
// that present came on screen by them. The µs are the counter readings converted by hand.
void tst_refresh::presentOnset_data() {
    using State = PresentOnset::State;
    QTest::addColumn<FrameStatistics>("stats");
    QTest::addColumn<quint32>("presentCount");
    QTest::addColumn<quint32>("target");
    QTest::addColumn<double>("periodUs");
    QTest::addColumn<qint64>("frequency");
    QTest::addColumn<State>("state");
    QTest::addColumn<quint32>("refresh");
    QTest::addColumn<qint64>("us");
    QTest::addColumn<bool>("late");
    QTest::newRow("60 Hz, on time") << FrameStatistics{1234, 6'480'060, 6'480'060, 1'080'010'000'003} << 1234u
                                    << 6'480'060u << 16'666.7 << Qpc10MHz << State::Shown << 6'480'060u
                                    << qint64(108'001'000'000) << false;
    QTest::newRow("60 Hz, statistics of the vblank after it")
        << FrameStatistics{1234, 6'480'060, 6'480'061, 1'080'010'166'670} << 1234u << 6'480'060u << 16'666.7
        << Qpc10MHz << State::Shown << 6'480'060u << qint64(108'001'000'000) << false;
    QTest::newRow("144 Hz, on time") << FrameStatistics{77, 51'900, 51'900, 3'604'166'640} << 77u << 51'900u
                                     << 6'944.4 << Qpc10MHz << State::Shown << 51'900u << qint64(360'416'664)
                                     << false;
    QTest::newRow("144 Hz, a refresh missed")
        << FrameStatistics{78, 51'902, 51'902, 3'604'305'528} << 78u << 51'901u << 6'944.4 << Qpc10MHz
        << State::Shown << 51'902u << qint64(360'430'552) << true;
    QTest::newRow("59.94 Hz on a 3.58 MHz counter")
        << FrameStatistics{9, 6'473'520, 6'473'520, 386'590'860'000} << 9u << 6'473'520u << 16'683.4
        << Qpc358MHz << State::Shown << 6'473'520u << qint64(108'000'000'000) << false;
    QTest::newRow("not on screen yet")
        << FrameStatistics{1233, 6'480'059, 6'480'059, 1'080'009'833'336} << 1234u << 6'480'060u << 16'666.7
        << Qpc10MHz << State::Pending << 0u << qint64(0) << false;
    QTest::newRow("a later present on screen")
        << FrameStatistics{1235, 6'480'061, 6'480'061, 1'080'010'166'670} << 1234u << 6'480'060u << 16'666.7
        << Qpc10MHz << State::Overtaken << 0u << qint64(0) << false;
    QTest::newRow("present count wrapped, not on screen yet")
        << FrameStatistics{0xFFFF'FFFF, 6'480'059, 6'480'059, 1'080'009'833'336} << 0u << 6'480'060u
        << 16'666.7 << Qpc10MHz << State::Pending << 0u << qint64(0) << false;
    QTest::newRow("present count wrapped, a later present on screen")
        << FrameStatistics{0, 6'480'061, 6'480'061, 1'080'010'166'670} << 0xFFFF'FFFFu << 6'480'060u
        << 16'666.7 << Qpc10MHz << State::Overtaken << 0u << qint64(0) << false;
    QTest::newRow("refresh count wrapped, a refresh missed")
        << FrameStatistics{5, 0, 0, 1'080'010'166'670} << 5u << 0xFFFF'FFFFu << 16'666.7 << Qpc10MHz
        << State::Shown << 0u << qint64(108'001'016'667) << true;
    QTest::newRow("refresh count wrapped between the vblank read and the present")
        << FrameStatistics{5, 0, 0xFFFF'FFFF, 1'080'010'000'003} << 5u << 0u << 16'666.7 << Qpc10MHz
        << State::Shown << 0u << qint64(108'001'016'667) << false;
}

void tst_refresh::presentOnset() {
    using State = PresentOnset::State;
    QFETCH(FrameStatistics, stats);
    QFETCH(quint32, presentCount);
    QFETCH(quint32, target);
    QFETCH(double, periodUs);
    QFETCH(qint64, frequency);
    QFETCH(State, state);
    const PresentOnset onset = kivora::presentOnset(stats, presentCount, target, periodUs, frequency);
    QCOMPARE(onset.state, state);
    if (state != State::Shown)
        return;
    QTEST(onset.refresh, "refresh");
    QTEST(onset.us, "us");
    QTEST(onset.late, "late");
}

// Readings of the frame statistics (usable or disjoint, at µs), and whether the last one finds
// them disjoint for too long.
using Readings = QList<std::pair<bool, qint64>>;
void tst_refresh::disjoint_data() {
    QTest::addColumn<Readings>("readings");
    QTest::addColumn<bool>("tooLong");
    QTest::newRow("disjoint for a moment")
        << Readings{{true, 0}, {false, 100'000}, {false, 600'000}} << false;
    QTest::newRow("disjoint for a second exactly") << Readings{{false, 0}, {false, 1'000'000}} << false;
    QTest::newRow("disjoint for more than a second") << Readings{{false, 0}, {false, 1'000'001}} << true;
    QTest::newRow("usable again in between")
        << Readings{{false, 0}, {false, 600'000}, {true, 700'000}, {false, 800'000}, {false, 1'500'000}}
        << false;
    QTest::newRow("usable again after too long")
        << Readings{{false, 0}, {false, 1'200'000}, {true, 1'300'000}} << false;
}

void tst_refresh::disjoint() {
    QFETCH(Readings, readings);
    QFETCH(bool, tooLong);
    DisjointWatch watch;
    bool last = false;
    for (const auto &[usable, us] : readings)
        last = watch.tooLong(usable, us);
    QCOMPARE(last, tooLong);
}

QTEST_GUILESS_MAIN(tst_refresh)
#include "tst_refresh.moc"
