// Trigger codes to a recorder: the code table, the codes a run sends in fake time (each screen's
// at its onset, the answer's at the key, the resets after each pulse), a code never written
// before its moment, and a port pulled out during a run.
#include "base/KeyCodes.h"
#include "session/TriggerCodes.h"
#include "session/TriggerSender.h"
#include "support/FakeTriggerLine.h"
#include "support/RunHarness.h"

#include <QTest>

using kivora::Stage;
using kivora::TrialRec;
namespace code = kivora::triggercode;

namespace {
const TrialRec Practice[] = {TrialRec{1, 0, 1, 0, 400, 0, 0}, TrialRec{2, 0, 3, 1, 800, 0, 0}};
} // namespace

class tst_triggers : public QObject {
    Q_OBJECT
private slots:
    void table_data();
    void table();
    void run_data();
    void run();
    void notBeforeItsMoment();
    void portPulled();
};

// The codes, each written once here.
void tst_triggers::table_data() {
    QTest::addColumn<QString>("what"); // a screen, "answer", or a moment of a run
    QTest::addColumn<int>("startDir");
    QTest::addColumn<int>("cueDir");
    QTest::addColumn<int>("mirror"); // of a test figure; for an answer, whether it was correct
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("expected");
    QTest::newRow("countdown") << u"countdown"_qs << 0 << 0 << 0 << 0 << 1;
    QTest::newRow("first figure") << u"first"_qs << 3 << 2 << 1 << 0 << 2;
    QTest::newRow("cue") << u"cue"_qs << 3 << 2 << 1 << 0 << 3;
    QTest::newRow("test 0°") << u"test"_qs << 0 << 0 << 0 << 0 << 100;
    QTest::newRow("test 0° mirrored") << u"test"_qs << 2 << 4 << 1 << 0 << 101;
    QTest::newRow("test 60°") << u"test"_qs << 1 << 0 << 0 << 0 << 110;
    QTest::newRow("test 300° is 60°") << u"test"_qs << 0 << 5 << 1 << 0 << 111;
    QTest::newRow("test 120°") << u"test"_qs << 1 << 1 << 0 << 0 << 120;
    QTest::newRow("test 240° is 120°, mirrored") << u"test"_qs << 3 << 1 << 1 << 0 << 121;
    QTest::newRow("test 180°") << u"test"_qs << 2 << 1 << 0 << 0 << 130;
    QTest::newRow("test 180° mirrored") << u"test"_qs << 5 << 4 << 1 << 0 << 131;
    QTest::newRow("answer key 1, wrong") << u"answer"_qs << 0 << 0 << 0 << 1 << 201;
    QTest::newRow("answer key 2, wrong") << u"answer"_qs << 0 << 0 << 0 << 2 << 202;
    QTest::newRow("answer key 1, correct") << u"answer"_qs << 0 << 0 << 1 << 1 << 211;
    QTest::newRow("answer key 2, correct") << u"answer"_qs << 0 << 0 << 1 << 2 << 212;
    QTest::newRow("practice text screen") << u"practice"_qs << 0 << 0 << 0 << 0 << 10;
    QTest::newRow("main trials begin") << u"main"_qs << 0 << 0 << 0 << 0 << 20;
    QTest::newRow("break text screen") << u"break"_qs << 0 << 0 << 0 << 0 << 30;
    QTest::newRow("end of the run") << u"end"_qs << 0 << 0 << 0 << 0 << 40;
    QTest::newRow("stop") << u"stop"_qs << 0 << 0 << 0 << 0 << 41;
    QTest::newRow("display check flip") << u"flip"_qs << 0 << 0 << 0 << 0 << 255;
}

void tst_triggers::table() {
    QFETCH(QString, what);
    QFETCH(int, startDir);
    QFETCH(int, cueDir);
    QFETCH(int, mirror);
    QFETCH(int, key);
    QFETCH(int, expected);
    const TrialRec rec{1, qint16(startDir), qint16(cueDir), qint16(mirror), 400, 0, 0};
    const QHash<QString, quint8> moments{{u"practice"_qs, code::PracticeText}, {u"main"_qs, code::MainTrials},
                                         {u"break"_qs, code::BreakText},       {u"end"_qs, code::RunEnd},
                                         {u"stop"_qs, code::Stopped},          {u"flip"_qs, code::CheckFlip}};
    const QStringList screens{u"countdown"_qs, u"first"_qs, u"cue"_qs, u"test"_qs};
    const int got = what == u"answer"_qs     ? code::ofAnswer(mirror != 0, key)
                    : moments.contains(what) ? moments.value(what)
                                             : code::ofStage(Stage(Stage::Id(screens.indexOf(what))), rec);
    QCOMPARE(got, expected);
    QCOMPARE(code::isTestFigure(quint8(got)), what == u"test"_qs);
}

// The bytes of a run, as tokens: W P S T the trial's screens, A its answer (every answer
// correct), "." a reset to 0, and the moments by name; "|" begins the next trial's tokens. A code
// due before the pulse has ended replaces the one standing: no "." between them.
void tst_triggers::run_data() {
    QTest::addColumn<bool>("practice");
    QTest::addColumn<int>("breakEvery");
    QTest::addColumn<int>("pulseMs");
    QTest::addColumn<bool>("stop"); // Stop during the second trial's first figure
    QTest::addColumn<QString>("tokens");
    QTest::newRow("plain run") << false << 0 << 10 << false
                               << u"main W . P . S . T . A | W . P . S . T . A | W . P . S . T . A end ."_qs;
    QTest::newRow("pulse 0: each code stands")
        << false << 0 << 0 << false << u"main W P S T A | W P S T A | W P S T A end"_qs;
    QTest::newRow("practice and a break")
        << true << 2 << 10 << false
        << u"practice . W . P . S . T . A . | W . P . S . T . A . practice . main | W . P . S . T . A | "
           u"W . P . S . T . A break . | W . P . S . T . A end ."_qs;
    QTest::newRow("stopped") << false << 0 << 10 << true << u"main W . P . S . T . A | W . P . stop ."_qs;
}

void tst_triggers::run() {
    QFETCH(bool, practice);
    QFETCH(int, breakEvery);
    QFETCH(int, pulseMs);
    QFETCH(bool, stop);
    QFETCH(QString, tokens);
    RunHarness h;
    FakeTriggerLine line(h.time);
    kivora::TriggerSender triggers(h.time, line.opener(), pulseMs);
    QString why;
    QVERIFY(triggers.open(&why));
    h.run.setTriggers(&triggers);
    h.load(RunHarness::ThreeTrials);
    QList<TrialRec> records{RunHarness::ThreeTrials};
    kivora::Study study;
    if (practice) {
        std::copy(std::begin(Practice), std::end(Practice), &study.practice[1]);
        study.practiceCount = qint16(std::size(Practice));
        records = QList<TrialRec>(std::begin(Practice), std::end(Practice)) + records;
    }
    study.breakEvery = breakEvery;
    h.run.setStudy(study);

    QVERIFY(h.start());
    for (const TrialRec &rec : records) {
        if (h.run.waitingForSpace()) { // practice announced, practice done, a break
            h.time.advanceMs(500);
            h.key(kivora::VK_SPACE);
        }
        if (stop && h.run.curTrial() == 2) {
            h.time.advanceMs(h.stageMs(Stage::Countdown) + 100);
            h.run.stop();
            break;
        }
        const bool practising = h.run.practising();
        h.toTestFigure();
        h.answer(rec.Mirror, 500);
        if (practising) // the answer's feedback, then the next countdown
            h.time.advanceMs(kivora::Study::FeedbackMs);
    }
    h.time.advanceMs(100);

    // The tokens as codes: each trial's from its record, the moments from the table.
    const QHash<QString, quint8> moments{{u"practice"_qs, code::PracticeText}, {u"main"_qs, code::MainTrials},
                                         {u"break"_qs, code::BreakText},       {u"end"_qs, code::RunEnd},
                                         {u"stop"_qs, code::Stopped},          {u"."_qs, 0}};
    const QString screens = u"WPST"_qs;
    QList<int> expected;
    int trial = 0;
    for (const QString &token : tokens.split(u' ')) {
        const TrialRec &rec = records[trial];
        if (token == u"|"_qs)
            ++trial;
        else if (token == u"A"_qs)
            expected << code::ofAnswer(true, rec.Mirror + 1);
        else if (screens.contains(token))
            expected << code::ofStage(Stage(Stage::Id(screens.indexOf(token))), rec);
        else
            expected << moments.value(token, 255);
    }
    QList<int> written;
    QList<qint64> codeTimes;
    for (qsizetype i = 0; i < line.bytes.size(); ++i) {
        written << line.bytes[i].code;
        if (line.bytes[i].code == 0) // a reset, one pulse after the code it ends
            QCOMPARE(line.bytes[i].us - line.bytes[i - 1].us, qint64(pulseMs) * 1000);
        else
            codeTimes << line.bytes[i].us;
    }
    QCOMPARE(written, expected);
    // The log has a line per code (no reset), at the moment it was written, and each answer's
    // row the lag of its test figure's code.
    QCOMPARE(h.rec.triggerTimesUs, codeTimes);
    QCOMPARE(h.rec.events.filter(u"trigger:"_qs).size(), codeTimes.size());
    for (const kivora::AnswerTiming &answer : h.rec.answers)
        QCOMPARE(answer.triggerLagUs, std::optional<qint64>(0)); // fake time: written at the onset
}

// A code whose moment lies ahead (an onset estimated from a coming refresh) waits for it; one
// sent after it waits behind it, so that the codes keep their order.
void tst_triggers::notBeforeItsMoment() {
    FakeTime time;
    FakeTriggerLine line(time);
    kivora::TriggerSender triggers(time, line.opener(), 0);
    QString why;
    QVERIFY(triggers.open(&why));
    QList<qint64> lags;
    connect(&triggers, &kivora::TriggerSender::written, this,
            [&lags](const kivora::TriggerWrite &w) { lags << w.lagUs; });
    const qint64 onset = time.nowUs() + 5000;
    triggers.send(code::ofStage(Stage::Test, RunHarness::ThreeTrials.begin()[0]), onset, 1);
    triggers.send(code::ofAnswer(true, 1), time.nowUs(), 1);
    time.advanceUs(4999);
    QVERIFY(line.bytes.isEmpty());
    time.advanceUs(1);
    QCOMPARE(line.bytes.size(), 2);
    QCOMPARE(line.bytes[0].us, onset);
    QVERIFY(code::isTestFigure(line.bytes[0].code));
    QCOMPARE(lags, (QList<qint64>{0, 5000}));
}

// A port that fails mid-run (a USB box pulled out) does not stop the run: the log says so once,
// the rows have no lag from then, and after the run the experimenter is told from which trial.
// The next run opens the port again, and does not start where it cannot.
void tst_triggers::portPulled() {
    RunHarness h;
    FakeTriggerLine line(h.time);
    kivora::TriggerSender triggers(h.time, line.opener(), 10);
    QString why;
    QVERIFY(triggers.open(&why));
    h.run.setTriggers(&triggers);
    h.load(RunHarness::ThreeTrials);
    QVERIFY(h.start());
    h.toTestFigure();
    h.answer(h.state.Trials[1].Mirror, 400);
    h.time.advanceMs(500); // in trial 2's countdown, its code's reset done
    line.pulled = u"the box is gone"_qs;
    for (int t = 2; t <= 3; ++t) {
        h.toTestFigure();
        h.answer(h.state.Trials[t].Mirror, 400);
    }
    QCOMPARE(h.view.resultsShown, 1);
    QCOMPARE(h.rec.events.filter(u"trigger_lost"_qs), QStringList{u"trigger_lost:2:the box is gone"_qs});
    const qsizetype lost = h.rec.events.indexOf(u"trigger_lost:2:the box is gone"_qs);
    QVERIFY(h.rec.events.sliced(lost).filter(u"trigger:"_qs).isEmpty());
    QVERIFY(h.rec.answers[0].triggerLagUs.has_value());
    QVERIFY(!h.rec.answers[1].triggerLagUs.has_value());
    QVERIFY(!h.rec.answers[2].triggerLagUs.has_value());
    QCOMPARE(h.view.triggerLosses.size(), 1);
    QVERIFY(h.view.triggerLosses[0].started);
    QCOMPARE(h.view.triggerLosses[0].trial, qint16(2));

    // Still gone: the next run does not start.
    const qsizetype starts = h.rec.events.filter(u"run_start:"_qs).size();
    QVERIFY(!h.start());
    QCOMPARE(h.view.triggerLosses.size(), 2);
    QVERIFY(!h.view.triggerLosses[1].started);
    QCOMPARE(h.view.triggerLosses[1].reason, line.pulled);
    QCOMPARE(h.rec.events.filter(u"run_start:"_qs).size(), starts);
    // Plugged in again: the run starts, with its codes.
    line.pulled.clear();
    const qsizetype bytes = line.bytes.size();
    QVERIFY(h.start());
    QCOMPARE(line.bytes.size(), bytes + 2); // the main trials' code, the countdown's
}

QTEST_MAIN(tst_triggers)
#include "tst_triggers.moc"
