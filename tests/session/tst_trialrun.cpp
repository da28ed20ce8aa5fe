// The trial run without a window, in fake time: what each stage shows and how long, the refresh
// arithmetic of a display in step with its refresh, late flips, the answer rules (keys by their
// stamps, swallowed keys, reaction times), Stop, the end of a run with its recorders, and
// shuffled orders.
#include "base/Clock.h"
#include "base/KeyCodes.h"
#include "base/KeyStamps.h"
#include "base/RuntimeError.h"
#include "results/SessionData.h"
#include "run/PlanReader.h"
#include "run/TrialPictures.h"
#include "support/Files.h"
#include "support/RunHarness.h"
#include "support/TwelveTrials.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <tuple>

using kivora::Stage;
using kivora::TrialRec;

namespace {
constexpr qint64 PeriodUs = 16'667;
// The platform's number of the physical key 1 and of key 2 (any two numbers do for the run).
constexpr quint32 Key1 = 10, Key2 = 11;
// A study's practice trials: the first as it was, the second mirrored.
const TrialRec PracticeTrials[] = {TrialRec{1, 0, 1, 0, 400, 0, 0}, TrialRec{2, 0, 2, 1, 800, 0, 0}};
} // namespace

class tst_trialrun : public QObject {
    Q_OBJECT
private slots:
    // The stages of a trial, shown at once (a presenter that paints synchronously).
    void stages_data();
    void stages();
    void stageDurations();
    void startTimeOnlyAtTestFigure();
    void badRecordRaisesError_data();
    void badRecordRaisesError();

    // A display in step with its refresh.
    void refreshArithmetic_data();
    void refreshArithmetic();
    void screensLastWholeRefreshes_data();
    void screensLastWholeRefreshes();
    void missedRefreshIsToldNotMadeUp();
    void displayAskedAtEachCountdown();
    void questionComesWithTheFigure();

    // Answers.
    void answerCodes_data();
    void answerCodes();
    void answerDecidedByStamps_data();
    void answerDecidedByStamps();
    void keyHandlerClockWithoutStamp_data();
    void keyHandlerClockWithoutStamp();
    void keysSwallowedInTimedStages_data();
    void keysSwallowedInTimedStages();
    void strayKeysBetweenRunsChangeNothing();
    void reactionTimeAcrossStartTimeWrap_data();
    void reactionTimeAcrossStartTimeWrap();

    // Runs.
    void completedRunTellsRecorders();
    void stopAndSecondRun();
    void eachRunInItsOwnOrder();

    // A study: practice rounds and breaks.
    void practiceRounds_data();
    void practiceRounds();
    void practiceFeedbackStaysItsTime();
    void breaks_data();
    void breaks();
    void stopOnATextScreen_data();
    void stopOnATextScreen();

private:
    // A study of the two practice trials before h's plan.
    static void withPractice(RunHarness &h, int criterion, int breakEvery = 0);
    // Answers the current practice trial (correct or not) and waits out its feedback.
    static void answerPractice(RunHarness &h, bool correct);
    // Space, both practice trials answered right, Space: the plan's first trial begins.
    static void passPractice(RunHarness &h);
    // Trial 1 of h to the moment its test figure's flip is due, the completion held back.
    static void toTestFlip(RunHarness &h);
};

// ---- the stages ------------------------------------------------------------------------------

void tst_trialrun::stages_data() {
    QTest::addColumn<int>("figSet");
    QTest::addColumn<int>("startDir");
    QTest::addColumn<int>("cueDir");
    QTest::addColumn<int>("mirror");
    QTest::addColumn<int>("testPosition");
    QTest::newRow("L 0+2 mirrored") << 2 << 0 << 2 << 1 << 9;
    QTest::newRow("same as first") << 1 << 0 << 0 << 0 << 1;
    QTest::newRow("3+4 wraps to 60") << 3 << 3 << 4 << 0 << 2;
    QTest::newRow("5+5 mirrored wraps to 240") << 4 << 5 << 5 << 1 << 11;
    QTest::newRow("upright cue 300") << 4 << 0 << 5 << 0 << 6;
    QTest::newRow("upright cue 300 mirrored") << 1 << 0 << 5 << 1 << 12;
}

void tst_trialrun::stages() {
    QFETCH(int, figSet);
    QFETCH(int, startDir);
    QFETCH(int, cueDir);
    QFETCH(int, mirror);
    QFETCH(int, testPosition);
    RunHarness h;
    h.load({TrialRec{qint16(figSet), qint16(startDir), qint16(cueDir), qint16(mirror), 800, 0, 0}});
    QVERIFY(h.start());
    QCOMPARE(h.view.picture, nullptr);
    QCOMPARE(h.view.caption, u"あと1問"_qs);
    QCOMPARE(h.timersArmed(), u"W--"_qs);

    h.time.advanceMs(h.stageMs(Stage::Countdown));
    QCOMPARE(h.view.picture, RunHarness::picture(figSet, startDir + 1));
    QCOMPARE(h.view.caption, QString());
    QCOMPARE(h.timersArmed(), u"-P-"_qs);

    h.time.advanceMs(h.stageMs(Stage::First));
    QCOMPARE(h.view.picture, RunHarness::picture(0, cueDir + 1));
    QCOMPARE(h.view.caption, QString());
    QCOMPARE(h.timersArmed(), u"--S"_qs);

    h.time.advanceMs(h.stageMs(Stage::Cue));
    QCOMPARE(h.view.picture, RunHarness::picture(figSet, testPosition));
    QCOMPARE(h.view.caption, u"表(1)？ or 裏(2)？"_qs);
    QCOMPARE(h.timersArmed(), u"---"_qs);
    QVERIFY(h.run.awaitingAnswer());

    h.time.advanceMs(60000); // the test figure stays until an answer
    QCOMPARE(h.view.picture, RunHarness::picture(figSet, testPosition));
}

// The stages' lengths as designed, stated here once (the other tests take them from the timers,
// RunHarness::stageMs): the countdown 1000 ms, the first figure 2000 ms, the cue the trial's
// presentation time, which it has none of before a trial gives it one. One microsecond short of
// each stage's end nothing changes; at its end the next screen comes.
void tst_trialrun::stageDurations() {
    RunHarness h;
    h.load({TrialRec{1, 0, 1, 0, 1200, 0, 0}});
    QCOMPARE(h.stageMs(Stage::Cue), 0);
    QVERIFY(h.start());
    QCOMPARE(h.stageMs(Stage::Countdown), 1000);
    QCOMPARE(h.stageMs(Stage::First), 2000);
    QCOMPARE(h.stageMs(Stage::Cue), 1200);
    for (const auto &[stage, armed, next] :
         {std::tuple{Stage::Countdown, u"W--"_qs, u"-P-"_qs}, std::tuple{Stage::First, u"-P-"_qs, u"--S"_qs},
          std::tuple{Stage::Cue, u"--S"_qs, u"---"_qs}}) {
        h.time.advanceUs(h.stageMs(stage) * 1000 - 1);
        QCOMPARE(h.timersArmed(), armed);
        h.time.advanceUs(1);
        QCOMPARE(h.timersArmed(), next);
    }
}

void tst_trialrun::startTimeOnlyAtTestFigure() {
    RunHarness h;
    h.load({TrialRec{1, 0, 1, 0, 400, 0, 0}, TrialRec{2, 0, 2, 1, 800, 0, 0}});
    QVERIFY(h.start());
    h.time.advanceMs(h.msUntil(Stage::Cue));
    QCOMPARE(h.run.startTime(), 0);
    h.time.advanceMs(h.stageMs(Stage::Cue));
    QCOMPARE(h.run.startTime(), kivora::Clock::toMs32(h.time.nowUs()));
    const qint32 first = h.run.startTime();
    h.key(kivora::VK_2); // answered: trial 2 begins now
    QCOMPARE(h.run.curTrial(), qint16(2));
    h.time.advanceMs(h.msUntil(Stage::Test) - 1);
    QCOMPARE(h.run.startTime(), first);
    h.time.advanceMs(1);
    QCOMPARE(h.run.startTime(), kivora::Clock::toMs32(h.time.nowUs()));
}

// A record the stages cannot show fails with the error of the step that needs it. A trial
// count past the table (a state no plan file can give) fails at the trial beyond it.
void tst_trialrun::badRecordRaisesError_data() {
    QTest::addColumn<int>("trialCount");
    QTest::addColumn<int>("figSet");
    QTest::addColumn<int>("number");
    QTest::newRow("index above table") << kivora::MaxTrials + 1 << 1 << int(kivora::ErrSubscript);
    QTest::newRow("no such image list") << 1 << 5 << int(kivora::ErrControlArray);
}

void tst_trialrun::badRecordRaisesError() {
    QFETCH(int, trialCount);
    QFETCH(int, figSet);
    QFETCH(int, number);
    RunHarness h;
    for (int i = 1; i <= std::min(trialCount, kivora::MaxTrials); ++i)
        h.state.Trials[i] = TrialRec{qint16(figSet), 0, 0, 0, 400, 0, 0};
    h.state.TrialCount = qint16(trialCount);
    try {
        QVERIFY(h.start());
        for (int t = 1; t <= trialCount; ++t) {
            h.toTestFigure();
            h.answer(0, 300);
        }
        QFAIL("no error");
    } catch (const kivora::RuntimeError &e) {
        QCOMPARE(e.number(), number);
    }
}

// ---- a display in step with its refresh --------------------------------------------------------

// The stage arithmetic on displays of other rates than the fake one: a screen stays the nearest
// whole number of refreshes (at least one), and its stage's handler runs two refreshes before the
// next screen is due, but never less than 8 ms (a fast display) nor more than 40 ms ahead.
void tst_trialrun::refreshArithmetic_data() {
    QTest::addColumn<qint32>("intervalMs");
    QTest::addColumn<qint64>("periodUs");
    QTest::addColumn<int>("refreshes");
    QTest::addColumn<qint64>("aheadUs"); // how long before the screen is due the handler runs
    QTest::newRow("60 Hz, 1000 ms") << 1000 << qint64(16'667) << 60 << qint64(33'334);
    QTest::newRow("60 Hz, nearest refresh") << 410 << qint64(16'667) << 25 << qint64(33'334);
    QTest::newRow("shorter than a refresh") << 5 << qint64(16'667) << 1 << qint64(33'334);
    QTest::newRow("144 Hz") << 400 << qint64(6'944) << 58 << qint64(13'888);
    QTest::newRow("30 Hz: at most 40 ms ahead") << 400 << qint64(33'333) << 12 << qint64(40'000);
    QTest::newRow("500 Hz: at least 8 ms ahead") << 400 << qint64(2'000) << 200 << qint64(8'000);
}

void tst_trialrun::refreshArithmetic() {
    QFETCH(qint32, intervalMs);
    QFETCH(qint64, periodUs);
    QFETCH(int, refreshes);
    QFETCH(qint64, aheadUs);
    QCOMPARE(kivora::refreshesFor(intervalMs, periodUs), refreshes);
    // The handler fires leadUs before intervalMs ends; the screen is due `refreshes` periods on.
    const qint64 handlerUs = qint64(intervalMs) * 1000 - kivora::refreshLeadUs(intervalMs, periodUs);
    QCOMPARE(qint64(refreshes) * periodUs - handlerUs, aheadUs);
}

// At 16.667 ms a refresh the countdown and the first figure last the refreshes of their timers'
// intervals, and a presentation time its nearest whole number of refreshes, at least one.
void tst_trialrun::screensLastWholeRefreshes_data() {
    QTest::addColumn<int>("presentTime");
    QTest::addColumn<int>("cueRefreshes");
    QTest::newRow("400 ms") << 400 << 24;
    QTest::newRow("1200 ms") << 1200 << 72;
    QTest::newRow("26 ms: 1.56 refreshes round up") << 26 << 2;
    QTest::newRow("24 ms: 1.44 refreshes round down") << 24 << 1;
    QTest::newRow("5 ms: still one refresh") << 5 << 1;
}

void tst_trialrun::screensLastWholeRefreshes() {
    QFETCH(int, presentTime);
    QFETCH(int, cueRefreshes);
    RunHarness h(PeriodUs);
    h.load({TrialRec{2, 0, 2, 1, qint16(presentTime), 0, 0}});
    QVERIFY(h.start());
    h.toTestFigure();

    const QList<qint64> refreshes{h.stageRefreshes(Stage::Countdown, PeriodUs),
                                  h.stageRefreshes(Stage::First, PeriodUs), cueRefreshes};
    QCOMPARE(h.rec.stageLengths(), refreshes);
    // The onsets are the refreshes' own times.
    QCOMPARE(h.rec.stageLengths(true),
             (QList<qint64>{refreshes[0] * PeriodUs, refreshes[1] * PeriodUs, refreshes[2] * PeriodUs}));
    const auto shown = h.rec.lastShown;
    QCOMPARE(h.run.startTime(), kivora::Clock::toMs32(shown[u"test"_qs].us));
    QVERIFY(!h.rec.events.join(u' ').contains(u"late_flip"_qs));
}

void tst_trialrun::missedRefreshIsToldNotMadeUp() {
    RunHarness h(PeriodUs);
    h.load({TrialRec{2, 0, 2, 1, 400, 0, 0}});
    QVERIFY(h.start());
    h.time.advanceMs(100);  // the countdown is on screen
    h.display->missNext(1); // the first figure comes one refresh late
    h.time.advanceMs(h.msUntil(Stage::Test));
    const auto shown = h.rec.lastShown;
    const qint64 due = shown[u"countdown"_qs].msc + h.stageRefreshes(Stage::Countdown, PeriodUs);
    QVERIFY2(h.rec.events.contains(u"late_flip:first:1:%1>%2"_qs.arg(due + 1).arg(due)),
             qPrintable(h.rec.events.join(u", "_qs)));
    // The first figure keeps its refreshes, counted from the late flip, not from when it was due.
    QCOMPARE(shown[u"cue"_qs].msc - shown[u"first"_qs].msc, h.stageRefreshes(Stage::First, PeriodUs));
    QCOMPARE(shown[u"test"_qs].msc - shown[u"cue"_qs].msc, h.stageRefreshes(Stage::Cue, PeriodUs));
    h.answer(0, 500);
    QCOMPARE(h.rec.answers.last().lateFlips, 1); // the trial's row says it
}

// The display is asked again at every trial's countdown: a change since the last reading is told
// once, with the trial that found it, and each answer carries what its own countdown found.
void tst_trialrun::displayAskedAtEachCountdown() {
    RunHarness h(PeriodUs);
    h.load(RunHarness::ThreeTrials);
    QVERIFY(h.run.readDisplay().exact()); // start-up's reading
    QVERIFY(h.start());
    h.toTestFigure();
    h.display->compositor = kivora::Compositor::Yes; // a compositor takes the window
    h.answer(0, 500);
    for (int t = 2; t <= 3; ++t) {
        h.toTestFigure();
        h.answer(0, 500);
    }
    const QStringList told = h.rec.events.filter(u"display_change"_qs);
    QCOMPARE(told.size(), 1);
    QVERIFY2(told[0].startsWith(u"display_change:2:"_qs) && told[0].contains(u"compositor=yes"_qs) &&
                 told[0].contains(u"exact=0"_qs),
             qPrintable(told[0]));
    QCOMPARE(h.rec.answers.size(), 3);
    QCOMPARE(h.rec.answers[0].display.compositor, kivora::Compositor::No);
    QCOMPARE(h.rec.answers[1].display.compositor, kivora::Compositor::Yes);
    QCOMPARE(h.rec.answers[2].display.compositor, kivora::Compositor::Yes);

    // Between runs the monitor goes away and the window moves: told at once (this display
    // measures nothing again), with no trial.
    h.view.screen = {true, u"DP-2"_qs, QString()};
    h.run.displayMoved();
    const QStringList moved = h.rec.events.filter(u"display_change"_qs);
    QCOMPARE(moved.size(), 2);
    QVERIFY2(moved[1].startsWith(u"display_change:0:"_qs) && moved[1].contains(u"screen=DP-2"_qs),
             qPrintable(moved[1]));
}

void tst_trialrun::toTestFlip(RunHarness &h) {
    h.load({TrialRec{2, 0, 2, 1, 400, 0, 0}, TrialRec{1, 0, 0, 0, 800, 0, 0}});
    QVERIFY(h.start());
    h.time.advanceMs(h.msUntil(Stage::Test) - 100); // to within the cue, 100 ms before its end
    h.display->hold(true);
    h.time.advanceMs(150); // past the test figure's refresh
    QVERIFY(h.run.awaitingAnswer());
    QVERIFY(h.display->pending());
}

void tst_trialrun::questionComesWithTheFigure() {
    RunHarness h(PeriodUs);
    toTestFlip(h);
    // The figure is due; until the display says it is on screen, neither it nor the question is.
    QCOMPARE(h.view.caption, QString());
    QCOMPARE(h.view.picture, RunHarness::picture(0, 3));
    h.display->deliver();
    QCOMPARE(h.view.caption, u"表(1)？ or 裏(2)？"_qs);
    QCOMPARE(h.view.picture, RunHarness::picture(2, 9));
}

// ---- answers --------------------------------------------------------------------------------

void tst_trialrun::answerCodes_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("answer");
    QTest::newRow("1") << int(kivora::VK_1) << 0;
    QTest::newRow("2") << int(kivora::VK_2) << 1;
    QTest::newRow("keypad 1") << int(kivora::VK_NUMPAD1) << 0;
    QTest::newRow("keypad 2") << int(kivora::VK_NUMPAD2) << 1;
}

void tst_trialrun::answerCodes() {
    QFETCH(int, code);
    QFETCH(int, answer);
    RunHarness h;
    h.load({TrialRec{1, 0, 2, 0, 400, qint16(1 - answer), 0}, TrialRec{2, 0, 4, 1, 800, 0, 0}});
    QVERIFY(h.start());
    h.toTestFigure();
    h.key(code);
    QCOMPARE(h.state.Trials[1].Answer, qint16(answer));
    QCOMPARE(h.run.curTrial(), qint16(2));
}

// A key pressed after the flip answers, with its reaction time from the flip; one pressed
// before it is swallowed, as in the cue. Either way round: the key event may be handled before
// the flip's completion event or after it.
void tst_trialrun::answerDecidedByStamps_data() {
    QTest::addColumn<bool>("keyFirst");
    QTest::addColumn<qint64>("pressedUs"); // relative to the test figure's flip
    QTest::addColumn<qint32>("rt");        // -1: swallowed
    QTest::newRow("key handled first, pressed 1.5 ms after the flip") << true << qint64(1'500) << 2;
    QTest::newRow("key handled first, pressed 3 ms before the flip") << true << qint64(-3'000) << -1;
    QTest::newRow("flip handled first, pressed 250 ms after it") << false << qint64(250'000) << 250;
    QTest::newRow("flip handled first, pressed 1 us before it") << false << qint64(-1) << -1;
    QTest::newRow("pressed at the flip itself") << false << qint64(0) << 0;
}

void tst_trialrun::answerDecidedByStamps() {
    QFETCH(bool, keyFirst);
    QFETCH(qint64, pressedUs);
    QFETCH(qint32, rt);
    RunHarness h(PeriodUs);
    kivora::KeyStamps stamps;
    h.run.setKeyStamps(&stamps);
    toTestFlip(h);
    const int cueRefreshes = h.stageRefreshes(Stage::Cue, PeriodUs); // trial 1's, before it is answered
    const qint64 flipUs = h.display->refreshUs(h.rec.lastShown[u"cue"_qs].msc + cueRefreshes);
    if (!keyFirst)
        h.display->deliver();
    stamps.add(Key1, flipUs + pressedUs);
    // The key handler hears of the press a little after it happened.
    h.time.setNowUs(std::max(h.time.nowUs(), flipUs + pressedUs + 300));
    h.run.keyDown(kivora::VK_1, h.run.keyTime(Key1, h.time.nowUs()));
    if (rt < 0) {
        QVERIFY(h.run.awaitingAnswer()); // still waiting for an answer
        QVERIFY(h.rec.answers.isEmpty());
    } else {
        QCOMPARE(h.state.Trials[1].RT, rt);
        QCOMPARE(h.rec.answers.size(), 1);
        QCOMPARE(h.rec.answers[0].rtUs, pressedUs);
        QCOMPARE(h.rec.answers[0].cueUs, cueRefreshes * PeriodUs);
    }
}

// Without a stamp for the key (no key reader, or none of this key), and where the reader's stamp
// came later than the key handler's own clock reading (the reader second), the handler's
// reading is the moment of the press.
void tst_trialrun::keyHandlerClockWithoutStamp_data() {
    QTest::addColumn<bool>("reader");
    QTest::addColumn<quint32>("stampedKey");
    QTest::newRow("no key reader") << false << Key1;
    QTest::newRow("stamps of another key only") << true << Key2;
    QTest::newRow("the reader's stamp after the handler's reading") << true << Key1;
}

void tst_trialrun::keyHandlerClockWithoutStamp() {
    QFETCH(bool, reader);
    QFETCH(quint32, stampedKey);
    RunHarness h(PeriodUs);
    kivora::KeyStamps stamps;
    if (reader)
        h.run.setKeyStamps(&stamps);
    toTestFlip(h);
    h.display->deliver();
    const qint64 flipUs = h.rec.lastShown[u"test"_qs].us;
    h.time.advanceUs(432'100);
    const qint64 handledUs = h.time.nowUs();
    stamps.add(stampedKey, handledUs + 300);
    h.run.keyDown(kivora::VK_1, h.run.keyTime(Key1, handledUs));
    QCOMPARE(h.rec.answers.size(), 1);
    QCOMPARE(h.rec.answers[0].keyUs, handledUs);
    QCOMPARE(h.state.Trials[1].RT, qint32((handledUs - flipUs + 500) / 1000));
    // The stamp of the key handled is used up: none is left for its next press.
    if (reader)
        QVERIFY(!stamps.take(Key1, 0, handledUs + 1'000));
}

// Keys pressed halfway through each timed stage.
void tst_trialrun::keysSwallowedInTimedStages_data() {
    QTest::addColumn<int>("stage"); // Stage::Id
    QTest::newRow("countdown") << int(Stage::Countdown);
    QTest::newRow("first figure") << int(Stage::First);
    QTest::newRow("cue") << int(Stage::Cue);
}

void tst_trialrun::keysSwallowedInTimedStages() {
    QFETCH(int, stage);
    const Stage pressedIn(static_cast<Stage::Id>(stage));
    RunHarness h;
    h.load({TrialRec{1, 0, 2, 0, 400, 7, 0}, TrialRec{2, 0, 4, 1, 800, 0, 0}});
    QVERIFY(h.start());
    h.time.advanceMs(h.msUntil(pressedIn) + h.stageMs(pressedIn) / 2);
    for (const int code :
         {int(kivora::VK_1), int(kivora::VK_2), int(kivora::VK_NUMPAD1), int(kivora::VK_NUMPAD2), 0})
        h.key(code);
    QCOMPARE(h.state.Trials[1], (TrialRec{1, 0, 2, 0, 400, 7, 0}));
    QCOMPARE(h.run.curTrial(), qint16(1));
    QVERIFY(h.view.running);
    h.toTestFigure();                                 // the trial goes on as planned
    for (const int code : {0, int(kivora::VK_1) + 2}) // no answers (key 3): the figure keeps waiting
        h.key(code);
    QVERIFY(h.run.awaitingAnswer());
    QCOMPARE(h.state.Trials[1].Answer, qint16(7));
}

// Keys 1 and 2 while no test figure awaits an answer and no timer runs (before the first run,
// after Stop) are swallowed: no trial takes them, no run goes on or ends.
void tst_trialrun::strayKeysBetweenRunsChangeNothing() {
    RunHarness h;
    h.load(RunHarness::ThreeTrials);
    const kivora::TrialTable before = h.state.Trials;
    h.key(kivora::VK_1); // before the first run: CurTrial is 0
    QCOMPARE(h.state.Trials, before);
    QVERIFY(h.start());
    h.toTestFigure();
    h.run.stop();
    const kivora::TrialTable afterStop = h.state.Trials;
    const QStringList events = h.rec.events;
    h.key(kivora::VK_2); // after Stop, with the old test figure's StartTime still set
    h.key(kivora::VK_NUMPAD1);
    QCOMPARE(h.state.Trials, afterStop);
    QCOMPARE(h.rec.events, events);
    QCOMPARE(h.timersArmed(), u"---"_qs);
    QVERIFY(!h.view.running);
    QCOMPARE(h.view.resultsShown, 0);
}

// StartTime is the 32-bit millisecond view of the test figure's onset and wraps; the reaction
// time comes from the 64-bit readings and does not. Each row puts a wrap of the 32-bit view
// between the onset and the key.
void tst_trialrun::reactionTimeAcrossStartTimeWrap_data() {
    QTest::addColumn<qint64>("onsetMs");
    QTest::newRow("onset below 2^31 ms, key after the sign wrap") << qint64(2147483647) - 400;
    QTest::newRow("49.7 days later: the next sign wrap") << qint64(2147483647) + 4294967296 - 400;
}

void tst_trialrun::reactionTimeAcrossStartTimeWrap() {
    QFETCH(qint64, onsetMs);
    RunHarness h;
    h.load(RunHarness::ThreeTrials);
    // The test figure comes after the countdown, the first figure and the cue of trial 1.
    h.time.setNowUs(
        (onsetMs - h.stageMs(Stage::Countdown) - h.stageMs(Stage::First) - h.state.Trials[1].PresentTime) *
        1000);
    QVERIFY(h.start());
    h.toTestFigure();
    QCOMPARE(h.run.onsetUs(Stage::Test), onsetMs * 1000);
    QCOMPARE(h.run.startTime(), kivora::Clock::toMs32(onsetMs * 1000));
    h.answer(0, 1000);
    QVERIFY2(kivora::Clock::toMs32(h.time.nowUs()) < h.run.startTime(), "no wrap between onset and key");
    QCOMPARE(h.state.Trials[1].RT, 1000);
}

// ---- runs -----------------------------------------------------------------------------------

// The last answer ends the run: the stop steps (no "stop" recorded), the please-wait picture
// while the statistics are made and the results are open, the results once, then the
// instruction picture and the buttons of a ready window.
void tst_trialrun::completedRunTellsRecorders() {
    RunHarness h;
    h.load(RunHarness::ThreeTrials);
    QVERIFY(h.start());
    QVERIFY(h.view.running);
    const qint32 rts[] = {612, 1500, 700};
    for (int t = 1; t <= 3; ++t) {
        h.toTestFigure();
        h.answer(h.state.Trials[t].Mirror, rts[t - 1]);
    }
    QCOMPARE(h.rec.events.first(), u"run_start:山田"_qs);
    QCOMPARE(h.rec.events.mid(1, 5),
             (QStringList{u"countdown:1:あと3問"_qs, u"first:1:1-1"_qs, u"cue:1:0-3"_qs, u"test:1:1-3"_qs,
                          u"answer:1:key=1 rt=612"_qs}));
    QCOMPARE(
        h.rec.events.mid(h.rec.events.size() - 4),
        (QStringList{u"answer:3:key=2 rt=700"_qs, u"run_end"_qs, u"results_shown"_qs, u"results_closed"_qs}));
    QVERIFY(!h.rec.events.contains(u"stop"_qs));
    // The countdown tells the questions left, this one included, down to 1.
    QCOMPARE(h.rec.events.filter(u"countdown:"_qs),
             (QStringList{u"countdown:1:あと3問"_qs, u"countdown:2:あと2問"_qs, u"countdown:3:あと1問"_qs}));
    QCOMPARE(h.view.resultsShown, 1);
    QCOMPARE(h.view.pictureDuringResults, RunHarness::picture(u"wait"_qs));
    QCOMPARE(h.view.picture, RunHarness::picture(u"instruction"_qs));
    QCOMPARE(h.view.caption, QString());
    QVERIFY(!h.view.running);
    QCOMPARE(h.state.Stats.CorrectCount, qint16(3));
    QCOMPARE(h.state.Stats.StatTable[0][0].Total, 612 + 1500 + 700);
}

void tst_trialrun::stopAndSecondRun() {
    RunHarness h;
    h.load(RunHarness::ThreeTrials);
    QVERIFY(h.start());
    h.toTestFigure();
    h.answer(1, 500);
    h.time.advanceMs(h.msUntil(Stage::First) +
                     h.stageMs(Stage::First) / 2); // in the second trial's first figure
    h.run.stop();
    QVERIFY(!h.view.running);
    QCOMPARE(h.run.curTrial(), qint16(2)); // Stop keeps CurTrial
    QCOMPARE(h.view.picture, RunHarness::picture(u"instruction"_qs));
    QCOMPARE(h.view.caption, QString());
    QCOMPARE(h.timersArmed(), u"---"_qs);
    QCOMPARE(h.rec.events.last(), u"stop"_qs);
    h.time.advanceMs(10000); // nothing of the broken-off trial comes back
    QCOMPARE(h.view.picture, RunHarness::picture(u"instruction"_qs));
    QCOMPARE(h.rec.events.last(), u"stop"_qs);

    QVERIFY(h.start(u"second"_qs));
    QCOMPARE(h.run.curTrial(), qint16(1));
    QCOMPARE(h.view.caption, u"あと3問"_qs);
    h.toTestFigure();
    h.answer(0, 321);
    QCOMPARE(h.state.Trials[1].RT, 321); // the new run overwrites the answer
    QCOMPARE(h.state.Trials[1].Answer, qint16(0));
}

namespace {
// The five plan fields of trials 1..count, for comparing orders.
QList<QList<int>> planOf(const kivora::TrialTable &trials, int count) {
    QList<QList<int>> out;
    for (int i = 1; i <= count; ++i) {
        const TrialRec &t = trials[i];
        out << QList<int>{t.FigSet, t.StartDir, t.CueDir, t.Mirror, t.PresentTime};
    }
    return out;
}
QList<QList<int>> sorted(QList<QList<int>> trials) {
    std::sort(trials.begin(), trials.end());
    return trials;
}
} // namespace

// Two runs with seeds 11 and 12: each a reordering of the same twelve trials, different from
// the plan and from each other; the rows of the trials answered before Stop are on disk, in the
// run's order and with its seed (how a row is written: tst_records); the recorders hear the seed
// before the run starts.
void tst_trialrun::eachRunInItsOwnOrder() {
    QTemporaryDir tmp;
    const QString planFile = tmp.filePath(u"twelve.csv"_qs);
    QVERIFY(files::writeFile(planFile, twelve::plan()));
    RunHarness h;
    h.state.TrialCount = kivora::loadPlanFile(planFile, h.state.Trials);
    h.run.planLoaded();
    QList<quint64> seeds{11, 12};
    h.run.shuffleEachRun([&seeds] { return seeds.takeFirst(); });
    const QString folder = tmp.filePath(u"data"_qs);
    kivora::SessionData::checkFolder(folder);
    kivora::SessionData data(folder);
    h.run.addObserver(&data);
    const QList<QList<int>> plan = planOf(h.state.Trials, twelve::Trials);

    QList<QList<QList<int>>> orders;
    for (const QString &name : {u"一"_qs, u"二"_qs}) {
        QVERIFY(h.start(name));
        const QList<QList<int>> order = planOf(h.state.Trials, twelve::Trials);
        QCOMPARE(sorted(order), sorted(plan));
        QVERIFY(order != plan);
        QVERIFY(!orders.contains(order));
        orders << order;
        for (int t = 1; t <= 3; ++t) {
            h.toTestFigure();
            h.answer(twelve::plannedAnswer(t, h.state.Trials[t].Mirror), twelve::plannedRt(t));
        }
        h.run.stop();

        const QList<QByteArray> rows = files::readFile(data.currentFile()).split('\n');
        QCOMPARE(rows.size(), 1 + 3 + 1);
        const QList<QByteArray> header = rows[0].trimmed().split(',');
        const qsizetype seedColumn = header.indexOf("order_seed");
        for (int t = 1; t <= 3; ++t) {
            const QList<QByteArray> cells = rows[t].trimmed().split(',');
            QCOMPARE(cells.size(), header.size());
            QList<int> fields;
            for (int c = 3; c <= 7; ++c)
                fields << cells[c].toInt();
            QCOMPARE(fields, order[t - 1]);
            QCOMPARE(cells[seedColumn], QByteArray::number(orders.size() == 1 ? 11 : 12));
        }
    }
    const QStringList starts = h.rec.events.filter(QRegularExpression(u"^(order|run_start):"_qs));
    QCOMPARE(starts, (QStringList{u"order:11"_qs, u"run_start:一"_qs, u"order:12"_qs, u"run_start:二"_qs}));
}

// ---- a study ---------------------------------------------------------------------------------

void tst_trialrun::withPractice(RunHarness &h, int criterion, int breakEvery) {
    kivora::Study study;
    std::copy(std::begin(PracticeTrials), std::end(PracticeTrials), &study.practice[1]);
    study.practiceCount = qint16(std::size(PracticeTrials));
    study.criterionPercent = criterion;
    study.breakEvery = breakEvery;
    h.run.setStudy(study);
}

void tst_trialrun::answerPractice(RunHarness &h, bool correct) {
    h.toTestFigure();
    // Which practice trial is up, by its test figure (a shuffled round has an order of its own).
    const auto *up =
        std::find_if(std::begin(PracticeTrials), std::end(PracticeTrials), [&h](const TrialRec &r) {
            const kivora::PictureRef test = kivora::testPicture(r);
            return h.view.picture == RunHarness::picture(test.list, test.position);
        });
    QVERIFY(up != std::end(PracticeTrials));
    h.answer(correct ? up->Mirror : qint16(1 - up->Mirror), 500);
    h.time.advanceMs(kivora::Study::FeedbackMs);
}

void tst_trialrun::passPractice(RunHarness &h) {
    h.key(kivora::VK_SPACE);
    answerPractice(h, true);
    answerPractice(h, true);
    h.key(kivora::VK_SPACE);
}

// Practice rounds before the plan's trials: each announced by a text screen that waits for
// Space, repeated while a round's share of correct answers is below the criterion, three rounds
// at most; their answers stay out of the statistics. Shuffled runs take every round in an order
// of its own: a seed drawn for each after the main order's.
void tst_trialrun::practiceRounds_data() {
    QTest::addColumn<int>("criterion");
    QTest::addColumn<QString>("answers"); // per practice trial: C correct, W wrong; rounds apart by "|"
    QTest::addColumn<QString>("rounds");  // each round's correct answers of its two
    QTest::addColumn<bool>("shuffled");
    QTest::newRow("no criterion: one round whatever the answers") << 0 << u"WW"_qs << u"0/2"_qs << false;
    QTest::newRow("at the criterion: one round") << 50 << u"CW"_qs << u"1/2"_qs << false;
    QTest::newRow("below it: again") << 75 << u"CW|CC"_qs << u"1/2 2/2"_qs << false;
    QTest::newRow("three rounds at most") << 100 << u"WW|CW|WC"_qs << u"0/2 1/2 1/2"_qs << false;
    QTest::newRow("shuffled: each round in an order of its own")
        << 75 << u"CW|CC"_qs << u"1/2 2/2"_qs << true;
}

void tst_trialrun::practiceRounds() {
    QFETCH(int, criterion);
    QFETCH(QString, answers);
    QFETCH(QString, rounds);
    QFETCH(bool, shuffled);
    RunHarness h;
    h.load(RunHarness::ThreeTrials);
    withPractice(h, criterion);
    quint64 seed = 40;
    if (shuffled)
        h.run.shuffleEachRun([&seed] { return ++seed; });
    QVERIFY(h.start());
    const QStringList perRound = answers.split(u'|');
    for (int r = 0; r < perRound.size(); ++r) {
        // A text screen waits for Space: no timer runs, keys 1 and 2 change nothing.
        QVERIFY(h.run.waitingForSpace());
        QCOMPARE(h.timersArmed(), u"---"_qs);
        h.key(kivora::VK_1);
        h.time.advanceMs(10'000);
        QVERIFY(h.run.waitingForSpace());
        h.key(kivora::VK_SPACE);
        QVERIFY(h.run.practising());
        QCOMPARE(h.view.caption, u"あと2問"_qs); // the practice trials left
        for (const QChar answer : perRound[r])
            answerPractice(h, answer == u'C');
    }
    QVERIFY(h.run.waitingForSpace()); // "練習は終わりです。..."
    h.key(kivora::VK_SPACE);
    QVERIFY(!h.run.practising());
    QCOMPARE(h.view.caption, u"あと3問"_qs); // the plan's trials
    for (int t = 1; t <= 3; ++t) {
        h.toTestFigure();
        h.answer(h.state.Trials[t].Mirror, 600);
    }
    QStringList told;
    for (const QString &e : h.rec.events.filter(u"practice_end:"_qs))
        told << e.section(u':', 2);
    QCOMPARE(told.join(u' '), rounds);
    QCOMPARE(h.rec.events.filter(u"practice_start:"_qs).size(), perRound.size());
    if (shuffled)
        QCOMPARE(seed, quint64(40 + 1 + perRound.size()));
    QCOMPARE(h.rec.answers.size(), 2 * perRound.size() + 3);
    // The statistics are the plan's three trials alone.
    QCOMPARE(h.state.Stats.StatTable[0][0].Count, qint16(3));
    QCOMPARE(h.state.Stats.CorrectCount, qint16(3));
}

// After a practice answer the caption says how it went for a second; then the next countdown.
void tst_trialrun::practiceFeedbackStaysItsTime() {
    RunHarness h;
    h.load(RunHarness::ThreeTrials);
    withPractice(h, 0);
    QVERIFY(h.start());
    h.key(kivora::VK_SPACE);
    h.toTestFigure();
    h.answer(1, 523); // the first practice figure is as it was: wrong
    QCOMPARE(h.view.caption, u"不正解　523 ミリ秒"_qs);
    h.time.advanceMs(kivora::Study::FeedbackMs - 1);
    QCOMPARE(h.view.caption, u"不正解　523 ミリ秒"_qs);
    QCOMPARE(h.timersArmed(), u"---"_qs);
    h.time.advanceMs(1);
    QCOMPARE(h.view.caption, u"あと1問"_qs);
    h.toTestFigure();
    h.answer(1, 480);
    QCOMPARE(h.view.caption, u"正解　480 ミリ秒"_qs);
}

// A break after every breakEvery-th trial but the last: the text screen says how many are done
// and waits for Space, which starts the next countdown; practice has none.
void tst_trialrun::breaks_data() {
    QTest::addColumn<int>("breakEvery");
    QTest::addColumn<QStringList>("breaks");
    QTest::newRow("every trial but the last") << 1 << QStringList{u"1"_qs, u"2"_qs};
    QTest::newRow("after the second") << 2 << QStringList{u"2"_qs};
    QTest::newRow("the last is no break") << 3 << QStringList{};
}

void tst_trialrun::breaks() {
    QFETCH(int, breakEvery);
    QFETCH(QStringList, breaks);
    RunHarness h;
    h.load(RunHarness::ThreeTrials);
    withPractice(h, 0, breakEvery);
    QVERIFY(h.start());
    passPractice(h);
    QVERIFY(h.rec.events.filter(u"break_"_qs).isEmpty()); // none in practice
    QStringList told;
    for (int t = 1; t <= 3; ++t) {
        h.toTestFigure();
        h.answer(h.state.Trials[t].Mirror, 600);
        if (!h.run.waitingForSpace())
            continue;
        told << QString::number(t);
        h.key(kivora::VK_2); // swallowed
        h.time.advanceMs(5000);
        QCOMPARE(h.run.curTrial(), qint16(t));
        h.key(kivora::VK_SPACE);
        QCOMPARE(h.view.caption, u"あと%1問"_qs.arg(3 - t));
    }
    QCOMPARE(told, breaks);
    QCOMPARE(h.rec.events.filter(u"break_start:"_qs).size(), breaks.size());
    QCOMPARE(h.rec.events.filter(u"break_end:"_qs).size(), breaks.size());
    QCOMPARE(h.rec.answers.size(), 2 + 3);
}

// Stop (Esc) on a text screen or in a pause ends the run at once, its answers kept.
void tst_trialrun::stopOnATextScreen_data() {
    QTest::addColumn<int>("answered"); // answers before (3: both practice trials and main trial 1)
    QTest::newRow("practice announced") << 0;
    QTest::newRow("in the break") << 3;
}

void tst_trialrun::stopOnATextScreen() {
    QFETCH(int, answered);
    RunHarness h;
    h.load(RunHarness::ThreeTrials);
    withPractice(h, 0, 1);
    QVERIFY(h.start());
    if (answered > 0) {
        passPractice(h);
        h.toTestFigure();
        h.answer(h.state.Trials[1].Mirror, 600);
    }
    QVERIFY(h.run.waitingForSpace());
    h.run.stop();
    QVERIFY(!h.view.running);
    QVERIFY(!h.run.waitingForSpace());
    h.key(kivora::VK_SPACE); // nothing waits any more
    QCOMPARE(h.rec.events.last(), u"stop"_qs);
    QCOMPARE(h.rec.answers.size(), answered);
    QCOMPARE(h.view.picture, RunHarness::picture(u"instruction"_qs));
}

QTEST_MAIN(tst_trialrun)
#include "tst_trialrun.moc"
