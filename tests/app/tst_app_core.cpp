// Checked arithmetic, numbered errors, the clock and the stage timers: the rules every later
// step relies on.
#include "app/Checked.h"
#include "app/Clock.h"
#include "app/KeyCodes.h"
#include "app/RecentMedian.h"
#include "app/RuntimeError.h"
#include "app/StageTimer.h"
#include "app/basTime.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>
#include <functional>

using namespace kivora;

class tst_app_core : public QObject {
    Q_OBJECT
private slots:
    void arithmetic_data();
    void arithmetic();
    void tableBounds_data();
    void tableBounds();
    void errorText();
    void clockWrap_data();
    void clockWrap();
    void trialRecordLayout();
    void timerIntervalZeroNeverFires();
    void timerNegativeIntervalRefused();
    void preciseTimerFiresOnceAfterInterval();
    void preciseTimerRestartsWhenReEnabled();
    void preciseTimerLeadFiresEarly();
    void keyCodes_data();
    void keyCodes();
    void programStateStartsEmpty();
    void recentMedianIgnoresOneOutlier();
};

void tst_app_core::arithmetic_data() {
    QTest::addColumn<std::function<int()>>("op");
    QTest::addColumn<int>("expected"); // -1: overflow error
    QTest::newRow("add within") << std::function<int()>([] { return add16(32766, 1); }) << 32767;
    QTest::newRow("add past max") << std::function<int()>([] { return add16(32767, 1); }) << -1;
    QTest::newRow("add past min") << std::function<int()>([] { return add16(-32768, -1); }) << -1;
    QTest::newRow("sub within") << std::function<int()>([] { return sub16(-32767, 1); }) << -32768;
    QTest::newRow("sub past min") << std::function<int()>([] { return sub16(-32768, 1); }) << -1;
    QTest::newRow("mul within") << std::function<int()>([] { return mul16(6, 1); }) << 6;
    QTest::newRow("mul past max") << std::function<int()>([] { return mul16(16384, 2); }) << -1;
    QTest::newRow("mul negative") << std::function<int()>([] { return mul16(-6, 5); }) << -30;
    QTest::newRow("add32 past max") << std::function<int()>([] { return add32(2147483647, 1); }) << -1;
    QTest::newRow("add32 within") << std::function<int()>([] { return add32(-2147483647, -1); })
                                  << int(-2147483648LL);
}

void tst_app_core::arithmetic() {
    QFETCH(std::function<int()>, op);
    QFETCH(int, expected);
    if (expected == -1) {
        try {
            op();
            QFAIL("no overflow error");
        } catch (const RuntimeError &e) {
            QCOMPARE(e.number(), int(ErrOverflow));
        }
    } else {
        QCOMPARE(op(), expected);
    }
}

void tst_app_core::tableBounds_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("ok");
    QTest::newRow("-1") << -1 << false;
    QTest::newRow("0") << 0 << true;
    QTest::newRow("144") << 144 << true;
    QTest::newRow("145") << 145 << false;
    QTest::newRow("32767") << 32767 << false;
}

void tst_app_core::tableBounds() {
    QFETCH(int, index);
    QFETCH(bool, ok);
    TrialTable t;
    try {
        t[index].FigSet = 3;
        QVERIFY(ok);
        QCOMPARE(t[index].FigSet, qint16(3));
    } catch (const RuntimeError &e) {
        QVERIFY(!ok);
        QCOMPARE(e.number(), int(ErrSubscript));
    }
}

void tst_app_core::errorText() {
    const RuntimeError e(ErrSubscript);
    QCOMPARE(e.text(), u"実行時エラー '9':\n\nインデックスが有効範囲にありません。"_qs);
    QCOMPARE(RuntimeError(ErrOverflow).text(), u"実行時エラー '6':\n\nオーバーフローしました。"_qs);
    QVERIFY(QString::fromUtf8(RuntimeError(ErrOverflow, u"40000"_qs).what()).endsWith(u"40000"_qs));
}

void tst_app_core::clockWrap_data() {
    QTest::addColumn<qint64>("startUs");
    QTest::addColumn<qint64>("endUs");
    QTest::addColumn<qint32>("elapsed");
    QTest::newRow("plain") << qint64(1'000'000) << qint64(1'734'000) << 734;
    // 2^31 ms: the 32-bit reading passes from 2147483647 to -2147483648.
    QTest::newRow("sign wrap") << qint64(2147483000) * 1000 << qint64(2147484000) * 1000 << 1000;
    // 2^32 ms: the reading passes from -1 back to 0.
    QTest::newRow("full wrap") << qint64(4294967000) * 1000 << qint64(4294967796) * 1000 << 796;
}

void tst_app_core::clockWrap() {
    QFETCH(qint64, startUs);
    QFETCH(qint64, endUs);
    QFETCH(qint32, elapsed);
    QCOMPARE(Clock::elapsedMs(Clock::toMs32(startUs), Clock::toMs32(endUs)), elapsed);
}

void tst_app_core::trialRecordLayout() {
    QCOMPARE(sizeof(TrialRec), std::size_t(16));
    QCOMPARE(TrialTable::size(), 145);
}

namespace {
// Counts how often a precise timer fires while the event loop runs for a while.
int firesWithin(StageTimer &t, int waitMs) {
    QSignalSpy spy(&t, &StageTimer::Timer);
    spy.wait(waitMs);
    return int(spy.count());
}
} // namespace

void tst_app_core::timerIntervalZeroNeverFires() {
    PreciseTimer t;
    t.setInterval(0);
    t.setEnabled(true);
    QCOMPARE(firesWithin(t, 50), 0);
    QVERIFY(t.Enabled());
}

void tst_app_core::timerNegativeIntervalRefused() {
    PreciseTimer t;
    QVERIFY_THROWS_EXCEPTION(RuntimeError, t.setInterval(-1));
    QCOMPARE(t.Interval(), 0);
}

void tst_app_core::preciseTimerFiresOnceAfterInterval() {
    PreciseTimer t;
    t.setInterval(30);
    QElapsedTimer since;
    qint64 firedAfter = -1;
    connect(&t, &StageTimer::Timer, &t, [&] {
        firedAfter = since.nsecsElapsed();
        t.setEnabled(false); // one-shot, as the stage handlers use it
    });
    since.start();
    t.setEnabled(true);
    QTRY_VERIFY_WITH_TIMEOUT(firedAfter >= 0, 1000);
    QVERIFY2(firedAfter >= 30'000'000, qPrintable(QString::number(firedAfter)));
    QCOMPARE(firesWithin(t, 80), 0);
}

void tst_app_core::preciseTimerRestartsWhenReEnabled() {
    PreciseTimer t;
    t.setInterval(40);
    t.setEnabled(true);
    QTest::qWait(25);
    t.setEnabled(false);
    QElapsedTimer since;
    since.start();
    t.setEnabled(true); // the countdown starts afresh from here
    QSignalSpy spy(&t, &StageTimer::Timer);
    QVERIFY(spy.wait(1000));
    QVERIFY(since.elapsed() >= 40);
}

void tst_app_core::preciseTimerLeadFiresEarly() {
    // A stage whose next screen takes time to paint is raised that much early.
    PreciseTimer t;
    t.setInterval(200);
    t.setLeadUs(150'000);
    QElapsedTimer since;
    since.start();
    t.setEnabled(true);
    QSignalSpy spy(&t, &StageTimer::Timer);
    QVERIFY(spy.wait(1000));
    const qint64 ms = since.elapsed();
    QVERIFY2(ms >= 50 && ms < 190, qPrintable(QString::number(ms)));
}

void tst_app_core::keyCodes_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<quint32>("scanCode");
    QTest::addColumn<int>("expected");
    QTest::newRow("1 main") << int(Qt::Key_1) << 0 << 10u << 49;
    QTest::newRow("2 main") << int(Qt::Key_2) << 0 << 11u << 50;
    QTest::newRow("shift+1 US") << int(Qt::Key_Exclam) << int(Qt::ShiftModifier) << 10u << 49;
    QTest::newRow("shift+2 US") << int(Qt::Key_At) << int(Qt::ShiftModifier) << 11u << 50;
    QTest::newRow("shift+2 JP") << int(Qt::Key_QuoteDbl) << int(Qt::ShiftModifier) << 11u << 50;
    QTest::newRow("keypad 1") << int(Qt::Key_1) << int(Qt::KeypadModifier) << 87u << 97;
    QTest::newRow("keypad 2") << int(Qt::Key_2) << int(Qt::KeypadModifier) << 88u << 98;
    QTest::newRow("keypad 1 numlock off") << int(Qt::Key_End) << int(Qt::KeypadModifier) << 87u << 0;
    QTest::newRow("3 main") << int(Qt::Key_3) << 0 << 12u << 51;
    QTest::newRow("synthetic 1") << int(Qt::Key_1) << 0 << 0u << 49;
    QTest::newRow("synthetic shift+1") << int(Qt::Key_Exclam) << int(Qt::ShiftModifier) << 0u << 49;
    QTest::newRow("synthetic @ is no digit") << int(Qt::Key_At) << 0 << 0u << 0;
    QTest::newRow("letter") << int(Qt::Key_A) << 0 << 38u << 0;
    QTest::newRow("enter") << int(Qt::Key_Return) << 0 << 36u << 13;
    QTest::newRow("escape") << int(Qt::Key_Escape) << 0 << 9u << 27;
}

void tst_app_core::keyCodes() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(quint32, scanCode);
    QFETCH(int, expected);
    const QKeyEvent e(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers), scanCode, 0, 0);
    QCOMPARE(virtualKeyCode(e), expected);
}

void tst_app_core::programStateStartsEmpty() {
    basTime::Trials[5].RT = 9;
    basTime::TrialCount = 3;
    basTime::TimeCount = 2;
    basTime::reset();
    QCOMPARE(basTime::Trials[5], TrialRec{});
    QCOMPARE(basTime::TrialCount, qint16(0));
    QCOMPARE(basTime::Stats.TimeCount, qint16(0));
    QVERIFY(&basTime::TimeCount == &basTime::Stats.TimeCount);
}

void tst_app_core::recentMedianIgnoresOneOutlier() {
    RecentMedian m;
    QVERIFY(m.isEmpty());
    m.add(800);
    QCOMPARE(m.median(), 800);
    m.add(5000); // one slow paint
    m.add(700);
    QCOMPARE(m.median(), 800);
    for (int i = 0; i < 5; ++i)
        m.add(600 + i); // only the last five count
    QCOMPARE(m.median(), 602);
}

QTEST_GUILESS_MAIN(tst_app_core)
#include "tst_app_core.moc"
