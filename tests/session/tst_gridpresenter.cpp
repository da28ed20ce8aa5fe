// A run's stages in whole refreshes of a compositor's grid (a fake grid in fake time): each stage
// lasts its refreshes counted from the refresh the stage before it was composed at, its picture
// handed over in the refresh before its target; a hand-over that comes too late is told and not
// made up for; without timing info the screens count from their hand-over.
#include "base/Clock.h"
#include "session/GridPresenter.h"
#include "support/RunHarness.h"

#include <QTest>

using kivora::Stage;
using kivora::TrialRec;

namespace {

constexpr double PeriodUs = 16'667;

// A compositor refreshing every PeriodUs from the clock's start; `on` false: no timing info.
struct FakeGrid final : kivora::RefreshGridSource {
    explicit FakeGrid(FakeTime &t) : time(t), origin(t.nowUs()) {}
    kivora::RefreshGrid read() override {
        if (!on)
            return {};
        const kivora::RefreshGrid grid{PeriodUs, origin, 0};
        const qint64 n = grid.refreshAt(time.nowUs());
        return {PeriodUs, grid.startUs(n), n};
    }
    FakeTime &time;
    qint64 origin;
    bool on = true;
};

// A run on the fake grid; records the refresh under way at each hand-over. The next paint can be
// made slow.
struct GridRun {
    GridRun() : grid(*new FakeGrid(h.time)) {
        auto *presenter = new kivora::GridPresenter(
            std::unique_ptr<kivora::RefreshGridSource>(&grid), h.time.clock(),
            {[this] {
                 h.time.setNowUs(h.time.nowUs() + std::exchange(slowPaintUs, 0));
                 handedOver << kivora::RefreshGrid{PeriodUs, grid.origin, 0}.refreshAt(h.time.nowUs());
             },
             [](std::initializer_list<const QImage *>) {}, [this](qint64 us) { h.time.setNowUs(us); }});
        h.run.setPresenter(std::unique_ptr<kivora::Presenter>(presenter));
        h.display = nullptr; // the fake display is gone
    }
    RunHarness h;
    FakeGrid &grid; // owned by the presenter
    QList<qint64> handedOver;
    qint64 slowPaintUs = 0;
};

} // namespace

class tst_gridpresenter : public QObject {
    Q_OBJECT
private slots:
    void stagesInWholeRefreshes_data();
    void stagesInWholeRefreshes();
    void lateHandOverIsToldNotMadeUp();
    void withoutTimingInfoScreensCountFromHandOver();
};

void tst_gridpresenter::stagesInWholeRefreshes_data() {
    QTest::addColumn<int>("presentTime");
    QTest::addColumn<int>("cueRefreshes");
    QTest::newRow("400 ms") << 400 << 24;
    QTest::newRow("26 ms: 1.56 refreshes round up") << 26 << 2;
    QTest::newRow("5 ms: still one refresh") << 5 << 1;
}

void tst_gridpresenter::stagesInWholeRefreshes() {
    QFETCH(int, presentTime);
    QFETCH(int, cueRefreshes);
    GridRun g;
    g.h.load({TrialRec{2, 0, 2, 1, qint16(presentTime), 0, 0}});
    QVERIFY(g.h.start());
    g.h.toTestFigure();
    const auto shown = g.h.rec.lastShown;
    QCOMPARE(g.h.rec.stageLengths(),
             (QList<qint64>{g.h.stageRefreshes(Stage::Countdown, qint64(PeriodUs)),
                            g.h.stageRefreshes(Stage::First, qint64(PeriodUs)), cueRefreshes}));
    // Each picture was handed over in the refresh before the one it was composed at.
    for (const auto &[i, stage] :
         {std::pair{1, u"first"_qs}, std::pair{2, u"cue"_qs}, std::pair{3, u"test"_qs}})
        QCOMPARE(g.handedOver[i], shown[stage].msc - 1);
    // The onset is the start of the refresh after the composition, on the grid.
    const kivora::RefreshGrid grid{PeriodUs, g.grid.origin, 0};
    QCOMPARE(shown[u"test"_qs].us, grid.startUs(shown[u"test"_qs].msc + 1));
    QVERIFY(!g.h.rec.events.join(u' ').contains(u"late_flip"_qs));
}

void tst_gridpresenter::lateHandOverIsToldNotMadeUp() {
    GridRun g;
    g.h.load({TrialRec{2, 0, 2, 1, 400, 0, 0}});
    QVERIFY(g.h.start());
    g.h.time.advanceMs(100);                  // the countdown is on screen
    g.slowPaintUs = qint64(PeriodUs * 3 / 2); // the first figure's paint ends past its target refresh
    g.h.toTestFigure();
    const auto shown = g.h.rec.lastShown;
    const qint64 due = shown[u"countdown"_qs].msc + g.h.stageRefreshes(Stage::Countdown, qint64(PeriodUs));
    QVERIFY2(g.h.rec.events.contains(u"late_flip:first:1:%1>%2"_qs.arg(due + 1).arg(due)),
             qPrintable(g.h.rec.events.join(u", "_qs)));
    // The first figure keeps its refreshes, counted from the late one.
    QCOMPARE(shown[u"cue"_qs].msc - shown[u"first"_qs].msc,
             g.h.stageRefreshes(Stage::First, qint64(PeriodUs)));
    QCOMPARE(shown[u"test"_qs].msc - shown[u"cue"_qs].msc, g.h.stageRefreshes(Stage::Cue, qint64(PeriodUs)));
}

void tst_gridpresenter::withoutTimingInfoScreensCountFromHandOver() {
    GridRun g;
    g.h.load({TrialRec{2, 0, 2, 1, 400, 0, 0}});
    g.grid.on = false; // the timing info went away after start-up
    QVERIFY(g.h.start());
    g.h.toTestFigure();
    const auto shown = g.h.rec.lastShown;
    QCOMPARE(shown[u"test"_qs].msc, qint64(-1));
    QCOMPARE(shown[u"first"_qs].us - shown[u"countdown"_qs].us, g.h.stageMs(Stage::Countdown) * 1000);
    QCOMPARE(g.h.run.startTime(), kivora::Clock::toMs32(shown[u"test"_qs].us));
}

QTEST_MAIN(tst_gridpresenter)
#include "tst_gridpresenter.moc"
