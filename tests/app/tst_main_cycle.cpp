// One trial through its four screens, driven by fake time: what is shown at each stage, which
// timer is armed, and when StartTime is taken.
#include "base/Clock.h"
#include "base/Fonts.h"
#include "base/RuntimeError.h"
#include "support/SessionDriver.h"

using kivora::TrialRec;

class tst_main_cycle : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { kivora::installFontSubstitutes(); }
    void init();
    void stages_data();
    void stages();
    void countdownFallsToOne();
    void stageDurations();
    void startTimeOnlyAtTestFigure();
    void badRecordRaisesError_data();
    void badRecordRaisesError();

private:
    struct Window {
        FakeTime time;
        frmMain w{time};
        const QImage *picture() const { return w.Image1->picture(); }
    };
};

void tst_main_cycle::init() {
    basTime::reset();
}

void tst_main_cycle::stages_data() {
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

void tst_main_cycle::stages() {
    QFETCH(int, figSet);
    QFETCH(int, startDir);
    QFETCH(int, cueDir);
    QFETCH(int, mirror);
    QFETCH(int, testPosition);
    basTime::TrialCount = 1;
    basTime::Trials[1] =
        TrialRec{qint16(figSet), qint16(startDir), qint16(cueDir), qint16(mirror), 800, 0, 0};
    Window f;
    f.w.show();
    f.w.CurTrial = 1;
    f.w.StartTurn();
    QCOMPARE(f.picture(), nullptr);
    QCOMPARE(f.w.lMsg->text(), u"あと1問"_qs);
    QCOMPARE(session::timersArmed(f.w), u"W--"_qs);
    QCOMPARE(f.w.tmSec->Interval(), 800);

    f.time.advanceMs(1000);
    QCOMPARE(f.picture(), &f.w.ImageList[figSet].ListImages(startDir + 1));
    QCOMPARE(f.w.lMsg->text(), QString());
    QCOMPARE(session::timersArmed(f.w), u"-P-"_qs);

    f.time.advanceMs(2000);
    QCOMPARE(f.picture(), &f.w.ImageList[0].ListImages(cueDir + 1));
    QCOMPARE(f.w.lMsg->text(), QString());
    QCOMPARE(session::timersArmed(f.w), u"--S"_qs);

    f.time.advanceMs(800);
    QCOMPARE(f.picture(), &f.w.ImageList[figSet].ListImages(testPosition));
    QCOMPARE(f.w.lMsg->text(), u"表(1)？ or 裏(2)？"_qs);
    QCOMPARE(session::timersArmed(f.w), u"---"_qs);
    QVERIFY(f.w.awaitingAnswer());

    f.time.advanceMs(60000); // the test figure stays until an answer
    QCOMPARE(f.picture(), &f.w.ImageList[figSet].ListImages(testPosition));
}

void tst_main_cycle::countdownFallsToOne() {
    basTime::TrialCount = 12;
    for (int i = 1; i <= 12; ++i)
        basTime::Trials[i] = TrialRec{1, 0, qint16(i % 6), 0, 400, 0, 0};
    Window f;
    for (qint16 t = 1; t <= 12; ++t) {
        f.w.CurTrial = t;
        f.w.StartTurn();
        QCOMPARE(f.w.lMsg->text(), u"あと%1問"_qs.arg(13 - t));
    }
}

void tst_main_cycle::stageDurations() {
    basTime::TrialCount = 1;
    basTime::Trials[1] = TrialRec{1, 0, 1, 0, 1200, 0, 0};
    Window f;
    f.w.CurTrial = 1;
    f.w.StartTurn();
    // One millisecond short of each stage's end nothing changes; at its end the next screen comes.
    f.time.advanceUs(999'999);
    QCOMPARE(session::timersArmed(f.w), u"W--"_qs);
    f.time.advanceUs(1);
    QCOMPARE(session::timersArmed(f.w), u"-P-"_qs);
    f.time.advanceUs(1'999'999);
    QCOMPARE(session::timersArmed(f.w), u"-P-"_qs);
    f.time.advanceUs(1);
    QCOMPARE(session::timersArmed(f.w), u"--S"_qs);
    f.time.advanceUs(1'199'999);
    QCOMPARE(session::timersArmed(f.w), u"--S"_qs);
    f.time.advanceUs(1);
    QCOMPARE(session::timersArmed(f.w), u"---"_qs);
}

void tst_main_cycle::startTimeOnlyAtTestFigure() {
    basTime::TrialCount = 2;
    basTime::Trials[1] = TrialRec{1, 0, 1, 0, 400, 0, 0};
    basTime::Trials[2] = TrialRec{2, 0, 2, 1, 800, 0, 0};
    Window f;
    f.w.CurTrial = 1;
    f.w.StartTurn();
    f.time.advanceMs(3000);
    QCOMPARE(f.w.StartTime, 0);
    f.time.advanceMs(400);
    QCOMPARE(f.w.StartTime, kivora::Clock::toMs32(f.time.nowUs()));
    const qint32 first = f.w.StartTime;
    f.w.CurTrial = 2;
    f.w.StartTurn();
    f.time.advanceMs(3799);
    QCOMPARE(f.w.StartTime, first);
    f.time.advanceMs(1);
    QCOMPARE(f.w.StartTime, kivora::Clock::toMs32(f.time.nowUs()));
}

void tst_main_cycle::badRecordRaisesError_data() {
    QTest::addColumn<int>("curTrial");
    QTest::addColumn<int>("figSet");
    QTest::addColumn<int>("number");
    QTest::newRow("index above table") << 145 << 1 << int(kivora::ErrSubscript);
    QTest::newRow("no such image list") << 1 << 5 << int(kivora::ErrControlArray);
}

void tst_main_cycle::badRecordRaisesError() {
    QFETCH(int, curTrial);
    QFETCH(int, figSet);
    QFETCH(int, number);
    basTime::TrialCount = 1;
    basTime::Trials[1] = TrialRec{qint16(figSet), 0, 0, 0, 400, 0, 0};
    Window f;
    f.w.CurTrial = qint16(curTrial);
    try {
        f.w.StartTurn();
        f.time.advanceMs(1000);
        QFAIL("no error");
    } catch (const kivora::RuntimeError &e) {
        QCOMPARE(e.number(), number);
    }
}

QTEST_MAIN(tst_main_cycle)
#include "tst_main_cycle.moc"
