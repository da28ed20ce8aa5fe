// Trigger codes to a recorder: the code table, the codes a run sends in fake time (each screen's
// at its onset, the answer's at the key, the resets after each pulse), a code never written
// before its moment, and a port pulled out during a run.
#include "base/KeyCodes.h"
#include "session/TriggerCodes.h"
#include "support/FakeTriggerLine.h"
#include "support/RunHarness.h"

using kivora::Stage;
using kivora::TrialRec;
namespace code = kivora::triggercode;

namespace {
const TrialRec Practice[] = {TrialRec{1, 0, 1, 0, 400, 0, 0}, TrialRec{2, 0, 3, 1, 800, 0, 0}};
// A run's moments by name; a trial's screens by letter.
const QHash<QString, quint8> Moments{{u"practice"_qs, code::PracticeText}, {u"main"_qs, code::MainTrials},
                                     {u"break"_qs, code::BreakText},       {u"end"_qs, code::RunEnd},
                                     {u"stop"_qs, code::Stopped},          {u"flip"_qs, code::CheckFlip}};
const QString Screens = u"WPST"_qs; // countdown, first figure, cue, test figure

// A run in fake time whose codes go to a fake trigger line.
struct TriggerRun {
    explicit TriggerRun(int pulseMs) : sender(h.time, line.opener(), pulseMs) {
        QString why;
        sender.open(&why);
        h.run.setTriggers(&sender);
        h.load(RunHarness::ThreeTrials);
    }
    RunHarness h;
    FakeTriggerLine line{h.time};
    kivora::TriggerSender sender;
};
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

// The codes, each written once here: a screen (by letter) of a trial with its start and cue
// directions and mirror code, an answer ("A", mirror: whether it was correct) or a moment.
void tst_triggers::table_data() {
    QTest::addColumn<QString>("what");
    QTest::addColumn<QList<int>>("rec"); // StartDir, CueDir, Mirror; an answer's correct and key
    QTest::addColumn<int>("expected");
    QTest::newRow("countdown") << u"W"_qs << QList<int>{0, 0, 0} << 1;
    QTest::newRow("first figure") << u"P"_qs << QList<int>{3, 2, 1} << 2;
    QTest::newRow("cue") << u"S"_qs << QList<int>{3, 2, 1} << 3;
    QTest::newRow("test 0°") << u"T"_qs << QList<int>{0, 0, 0} << 100;
    QTest::newRow("test 300° is 60°, mirrored") << u"T"_qs << QList<int>{0, 5, 1} << 111;
    QTest::newRow("test 240° is 120°") << u"T"_qs << QList<int>{3, 1, 0} << 120;
    QTest::newRow("test 180° mirrored") << u"T"_qs << QList<int>{5, 4, 1} << 131;
    QTest::newRow("key 1, wrong") << u"A"_qs << QList<int>{0, 1} << 201;
    QTest::newRow("key 2, wrong") << u"A"_qs << QList<int>{0, 2} << 202;
    QTest::newRow("key 1, correct") << u"A"_qs << QList<int>{1, 1} << 211;
    QTest::newRow("key 2, correct") << u"A"_qs << QList<int>{1, 2} << 212;
    const std::pair<const char16_t *, int> moments[] = {{u"practice", 10}, {u"main", 20}, {u"break", 30},
                                                        {u"end", 40},      {u"stop", 41}, {u"flip", 255}};
    for (const auto &[name, value] : moments)
        QTest::newRow(QString::fromUtf16(name).toUtf8()) << QString::fromUtf16(name) << QList<int>{} << value;
}

void tst_triggers::table() {
    QFETCH(QString, what);
    QFETCH(QList<int>, rec);
    QFETCH(int, expected);
    const int got = Moments.contains(what) ? Moments.value(what)
                    : what == u"A"_qs
                        ? code::ofAnswer(rec[0] != 0, rec[1])
                        : code::ofStage(Stage(Stage::Id(Screens.indexOf(what))),
                                        TrialRec{1, qint16(rec[0]), qint16(rec[1]), qint16(rec[2])});
    QCOMPARE(got, expected);
    QCOMPARE(code::isTestFigure(quint8(got)), what == u"T"_qs);
}

// The bytes of a run, as tokens: W P S T a trial's screens, A its answer (every one correct), "."
// a reset to 0, and the moments by name; "|" goes on to the next trial. A code due before the
// pulse has ended replaces the one standing: no "." between them. With practice, two practice
// trials come first and a break after the second main trial; a run with "stop" is stopped in the
// second trial's first figure.
void tst_triggers::run_data() {
    QTest::addColumn<bool>("practice");
    QTest::addColumn<int>("pulseMs");
    QTest::addColumn<QString>("tokens");
    QTest::newRow("plain run") << false << 10
                               << u"main W . P . S . T . A | W . P . S . T . A | W . P . S . T . A end ."_qs;
    QTest::newRow("pulse 0: each code stands")
        << false << 0 << u"main W P S T A | W P S T A | W P S T A end"_qs;
    QTest::newRow("practice and a break")
        << true << 10
        << u"practice . W . P . S . T . A . | W . P . S . T . A . practice . main | W . P . S . T . A | "
           u"W . P . S . T . A break . | W . P . S . T . A end ."_qs;
    QTest::newRow("stopped") << false << 10 << u"main W . P . S . T . A | W . P . stop ."_qs;
}

void tst_triggers::run() {
    QFETCH(bool, practice);
    QFETCH(int, pulseMs);
    QFETCH(QString, tokens);
    TriggerRun t(pulseMs);
    QList<TrialRec> records{RunHarness::ThreeTrials};
    kivora::Study study;
    if (practice) {
        std::copy(std::begin(Practice), std::end(Practice), &study.practice[1]);
        study.practiceCount = qint16(std::size(Practice));
        study.breakEvery = 2;
        records = QList<TrialRec>(std::begin(Practice), std::end(Practice)) + records;
    }
    t.h.run.setStudy(study);
    QVERIFY(t.h.start());
    for (const TrialRec &rec : records) {
        if (t.h.run.waitingForSpace()) { // practice announced, practice done, a break
            t.h.time.advanceMs(500);
            t.h.key(kivora::VK_SPACE);
        }
        if (tokens.contains(u"stop"_qs) && t.h.run.curTrial() == 2) {
            t.h.time.advanceMs(t.h.stageMs(Stage::Countdown) + 100);
            t.h.run.stop();
            break;
        }
        const bool practising = t.h.run.practising();
        t.h.toTestFigure();
        t.h.answer(rec.Mirror, 500);
        t.h.time.advanceMs(practising ? kivora::Study::FeedbackMs : 0); // then the next countdown
    }
    t.h.time.advanceMs(100);

    QList<int> expected;
    qsizetype trial = 0;
    for (const QString &token : tokens.split(u' ')) {
        const TrialRec &rec = records[trial];
        if (token == u"|"_qs)
            ++trial;
        else
            expected << (token == u"."_qs   ? 0
                         : token == u"A"_qs ? code::ofAnswer(true, rec.Mirror + 1)
                         : Screens.contains(token)
                             ? code::ofStage(Stage(Stage::Id(Screens.indexOf(token))), rec)
                             : Moments.value(token));
    }
    QList<int> written;
    QList<qint64> codeTimes;
    for (qsizetype i = 0; i < t.line.bytes.size(); ++i) {
        written << t.line.bytes[i].code;
        if (t.line.bytes[i].code == 0) // a reset, one pulse after the code it ends
            QCOMPARE(t.line.bytes[i].us - t.line.bytes[i - 1].us, qint64(pulseMs) * 1000);
        else
            codeTimes << t.line.bytes[i].us;
    }
    QCOMPARE(written, expected);
    // A log line per code (none per reset) at its time; each row the test figure's lag (fake time:
    // every code written at its onset).
    QCOMPARE(t.h.rec.triggerTimesUs, codeTimes);
    for (const kivora::AnswerTiming &answer : t.h.rec.answers)
        QCOMPARE(answer.triggerLagUs, std::optional<qint64>(0));
}

// A code whose moment lies ahead (an onset estimated from a coming refresh) waits for it; one
// sent after it waits behind it, so that the codes keep their order.
void tst_triggers::notBeforeItsMoment() {
    TriggerRun t(0);
    QList<qint64> lags;
    connect(&t.sender, &kivora::TriggerSender::written, this,
            [&lags](const kivora::TriggerWrite &w) { lags << w.lagUs; });
    const qint64 onset = t.h.time.nowUs() + 5000;
    t.sender.send(code::ofStage(Stage::Test, t.h.state.Trials[1]), onset, 1);
    t.sender.send(code::ofAnswer(true, 1), t.h.time.nowUs(), 1);
    t.h.time.advanceUs(4999);
    QVERIFY(t.line.bytes.isEmpty());
    t.h.time.advanceUs(1);
    QCOMPARE(t.line.bytes.size(), 2);
    QCOMPARE(t.line.bytes[0].us, onset);
    QVERIFY(code::isTestFigure(t.line.bytes[0].code));
    QCOMPARE(lags, (QList<qint64>{0, 5000}));
}

// A port that fails mid-run (a USB box pulled out) does not stop the run: the log says so once,
// the rows have no lag from then, and after the run the experimenter is told from which trial.
// The next run opens the port again, and does not start where it cannot.
void tst_triggers::portPulled() {
    TriggerRun t(10);
    QVERIFY(t.h.start());
    for (qint16 trial = 1; trial <= 3; ++trial) {
        t.h.toTestFigure();
        t.h.answer(t.h.state.Trials[trial].Mirror, 700);
        t.h.time.advanceMs(500); // in the next countdown, its code's reset done
        if (trial == 1)
            t.line.pulled = u"the box is gone"_qs;
    }
    QCOMPARE(t.h.view.resultsShown, 1);
    const qsizetype lost = t.h.rec.events.indexOf(u"trigger_lost:2:the box is gone"_qs);
    QVERIFY(lost > 0);
    QVERIFY(t.h.rec.events.sliced(lost + 1).filter(u"trigger"_qs).isEmpty());
    QCOMPARE(t.h.rec.answers[0].triggerLagUs.has_value(), true);
    QCOMPARE(t.h.rec.answers[1].triggerLagUs.has_value() || t.h.rec.answers[2].triggerLagUs.has_value(),
             false);
    QCOMPARE(t.h.view.triggerLosses.size(), 1);
    QCOMPARE(std::pair(t.h.view.triggerLosses[0].started, t.h.view.triggerLosses[0].trial),
             std::pair(true, qint16(2)));

    const qsizetype starts = t.h.rec.events.filter(u"run_start:"_qs).size();
    QVERIFY(!t.h.start()); // still gone
    QCOMPARE(t.h.view.triggerLosses.size(), 2);
    QVERIFY(!t.h.view.triggerLosses[1].started);
    QCOMPARE(t.h.rec.events.filter(u"run_start:"_qs).size(), starts);
    t.line.pulled.clear(); // plugged in again
    const qsizetype bytes = t.line.bytes.size();
    QVERIFY(t.h.start());
    QCOMPARE(t.line.bytes.size(), bytes + 2); // the main trials' code, the countdown's
}

QTEST_MAIN(tst_triggers)
#include "tst_triggers.moc"
