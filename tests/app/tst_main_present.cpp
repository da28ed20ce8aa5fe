// The trial cycle with pictures in step with a display's refresh (a fake display in fake time):
// each screen lasts whole refreshes counted from the flip before it, a missed refresh is told
// and not made up for, and a key counts from the test figure's flip when it was pressed after
// it, whichever of the two the window hears of first.
#include "base/Fonts.h"
#include "base/KeyStamps.h"
#include "support/FakePresenter.h"
#include "support/RunRecorder.h"
#include "support/SessionDriver.h"

#include <QTest>

using kivora::TrialRec;
using namespace session;

namespace {
constexpr qint64 PeriodUs = 16'667;
}

class tst_main_present : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { kivora::installFontSubstitutes(); }
    void init();
    void cleanup();

    void refreshArithmetic_data();
    void refreshArithmetic();
    void screensLastWholeRefreshes_data();
    void screensLastWholeRefreshes();
    void missedRefreshIsToldNotMadeUp();
    void questionComesWithTheFigure();
    void answerDecidedByStamps_data();
    void answerDecidedByStamps();
    void keyHandlerClockWithoutStamp_data();
    void keyHandlerClockWithoutStamp();

private:
    // Trial 1 to the moment its test figure's flip is due, the completion held back.
    void toTestFlip();

    FakeTime m_time;
    frmMain *m_w = nullptr;
    FakePresenter *m_display = nullptr;
    RunRecorder m_rec;
};

void tst_main_present::init() {
    basTime::reset();
    basTime::TrialCount = 2;
    basTime::Trials[1] = TrialRec{2, 0, 2, 1, 400, 0, 0};
    basTime::Trials[2] = TrialRec{1, 0, 0, 0, 800, 0, 0};
    m_rec = {};
    m_w = new frmMain(m_time);
    m_display = new FakePresenter(m_time, m_w->Image1, m_w->lMsg, PeriodUs);
    m_w->setPresenter(std::unique_ptr<kivora::Presenter>(m_display));
    m_w->addObserver(&m_rec);
    m_w->show();
    QVERIFY(QTest::qWaitForWindowActive(m_w));
}

void tst_main_present::cleanup() {
    delete m_w;
}

void tst_main_present::toTestFlip() {
    m_w->CurTrial = 1;
    m_w->StartTurn();
    m_time.advanceMs(1000 + 2000 + 300); // to within the cue
    m_display->hold(true);
    m_time.advanceMs(150); // past the test figure's refresh
    QVERIFY(m_w->awaitingAnswer());
    QVERIFY(m_display->pending());
}

// The stage arithmetic on displays of other rates than the fake one: a screen stays the nearest
// whole number of refreshes (at least one), and its stage's handler runs two refreshes before the
// next screen is due, but never less than 8 ms (a fast display) nor more than 40 ms ahead.
void tst_main_present::refreshArithmetic_data() {
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

void tst_main_present::refreshArithmetic() {
    QFETCH(qint32, intervalMs);
    QFETCH(qint64, periodUs);
    QFETCH(int, refreshes);
    QFETCH(qint64, aheadUs);
    QCOMPARE(kivora::refreshesFor(intervalMs, periodUs), refreshes);
    // The handler fires leadUs before intervalMs ends; the screen is due `refreshes` periods on.
    const qint64 handlerUs = qint64(intervalMs) * 1000 - kivora::refreshLeadUs(intervalMs, periodUs);
    QCOMPARE(qint64(refreshes) * periodUs - handlerUs, aheadUs);
}

// At 16.667 ms a refresh: 1000 ms are 60 refreshes, 2000 ms 120, and a presentation time its
// nearest whole number of refreshes, at least one.
void tst_main_present::screensLastWholeRefreshes_data() {
    QTest::addColumn<int>("presentTime");
    QTest::addColumn<int>("cueRefreshes");
    QTest::newRow("400 ms") << 400 << 24;
    QTest::newRow("1200 ms") << 1200 << 72;
    QTest::newRow("26 ms: 1.56 refreshes round up") << 26 << 2;
    QTest::newRow("24 ms: 1.44 refreshes round down") << 24 << 1;
    QTest::newRow("5 ms: still one refresh") << 5 << 1;
}

void tst_main_present::screensLastWholeRefreshes() {
    QFETCH(int, presentTime);
    QFETCH(int, cueRefreshes);
    basTime::Trials[1].PresentTime = qint16(presentTime);
    m_w->CurTrial = 1;
    m_w->StartTurn();
    m_time.advanceMs(3000 + presentTime + 100);
    QVERIFY(m_w->awaitingAnswer());

    const auto shown = m_rec.lastShown;
    const QList<std::pair<QString, QString>> stages{
        {u"countdown"_qs, u"first"_qs}, {u"first"_qs, u"cue"_qs}, {u"cue"_qs, u"test"_qs}};
    const QList<qint64> refreshes{60, 120, cueRefreshes};
    for (int i = 0; i < stages.size(); ++i) {
        const auto &[from, to] = stages[i];
        QCOMPARE(shown[to].msc - shown[from].msc, refreshes[i]);
        // The onsets are the refreshes' own times.
        QCOMPARE(shown[to].us - shown[from].us, refreshes[i] * PeriodUs);
    }
    QCOMPARE(m_w->StartTime, kivora::Clock::toMs32(shown[u"test"_qs].us));
    QVERIFY(!m_rec.events.join(u' ').contains(u"late_flip"_qs));
}

void tst_main_present::missedRefreshIsToldNotMadeUp() {
    m_w->CurTrial = 1;
    m_w->StartTurn();
    m_time.advanceMs(100);  // the countdown is on screen
    m_display->missNext(1); // the first figure comes one refresh late
    m_time.advanceMs(3000 + 400);
    const auto shown = m_rec.lastShown;
    const qint64 due = shown[u"countdown"_qs].msc + 60;
    QVERIFY2(m_rec.events.contains(u"late_flip:first:1:%1>%2"_qs.arg(due + 1).arg(due)),
             qPrintable(m_rec.events.join(u", "_qs)));
    // The cue keeps its 120 refreshes, counted from the late flip, not from when it was due.
    QCOMPARE(shown[u"cue"_qs].msc - shown[u"first"_qs].msc, 120);
    QCOMPARE(shown[u"test"_qs].msc - shown[u"cue"_qs].msc, 24);
}

void tst_main_present::questionComesWithTheFigure() {
    toTestFlip();
    // The figure is due; until the display says it is on screen, the question is not.
    QCOMPARE(m_w->lMsg->text(), QString());
    m_display->deliver();
    QCOMPARE(m_w->lMsg->text(), u"表(1)？ or 裏(2)？"_qs);
}

// A key pressed after the flip answers, with its reaction time from the flip; one pressed
// before it is swallowed, as in the cue. Either way round: the key event may be handled before
// the flip's completion event or after it.
void tst_main_present::answerDecidedByStamps_data() {
    QTest::addColumn<bool>("keyFirst");
    QTest::addColumn<qint64>("pressedUs"); // relative to the test figure's flip
    QTest::addColumn<qint32>("rt");        // -1: swallowed
    QTest::newRow("key handled first, pressed 1.5 ms after the flip") << true << qint64(1'500) << 2;
    QTest::newRow("key handled first, pressed 3 ms before the flip") << true << qint64(-3'000) << -1;
    QTest::newRow("flip handled first, pressed 250 ms after it") << false << qint64(250'000) << 250;
    QTest::newRow("flip handled first, pressed 1 us before it") << false << qint64(-1) << -1;
    QTest::newRow("pressed at the flip itself") << false << qint64(0) << 0;
}

void tst_main_present::answerDecidedByStamps() {
    QFETCH(bool, keyFirst);
    QFETCH(qint64, pressedUs);
    QFETCH(qint32, rt);
    kivora::KeyStamps stamps;
    m_w->setKeyStamps(&stamps);
    toTestFlip();
    const qint64 flipUs = m_display->refreshUs(m_rec.lastShown[u"cue"_qs].msc + 24);
    if (!keyFirst)
        m_display->deliver();
    stamps.add(Main1.native.scan, flipUs + pressedUs);
    // The key handler hears of the press a little after it happened.
    m_time.setNowUs(std::max(m_time.nowUs(), flipUs + pressedUs + 300));
    press(Main1);
    if (rt < 0) {
        QVERIFY(m_w->awaitingAnswer()); // still waiting for an answer
        QVERIFY(m_rec.answers.isEmpty());
    } else {
        QCOMPARE(basTime::Trials[1].RT, rt);
        QCOMPARE(m_rec.answers.size(), 1);
        QCOMPARE(m_rec.answers[0].rtUs, pressedUs);
        QCOMPARE(m_rec.answers[0].cueUs, 24 * PeriodUs);
    }
}

// Without a stamp for the key (no key reader, or none of this key) the key handler's own clock
// reading is the moment of the press.
void tst_main_present::keyHandlerClockWithoutStamp_data() {
    QTest::addColumn<bool>("reader");
    QTest::newRow("no key reader") << false;
    QTest::newRow("stamps of another key only") << true;
}

void tst_main_present::keyHandlerClockWithoutStamp() {
    QFETCH(bool, reader);
    kivora::KeyStamps stamps;
    if (reader)
        m_w->setKeyStamps(&stamps);
    toTestFlip();
    m_display->deliver();
    const qint64 flipUs = m_rec.lastShown[u"test"_qs].us;
    stamps.add(Main2.native.scan, flipUs + 100);
    m_time.advanceUs(432'100);
    press(Main1);
    QCOMPARE(m_rec.answers.size(), 1);
    QCOMPARE(m_rec.answers[0].keyUs, m_time.nowUs());
    QCOMPARE(basTime::Trials[1].RT, qint32((m_time.nowUs() - flipUs + 500) / 1000));
}

QTEST_MAIN(tst_main_present)
#include "tst_main_present.moc"
