// Checked arithmetic, numbered errors, the clock and the stage timers: the rules every later
// step relies on.
#include "base/Checked.h"
#include "base/Clock.h"
#include "base/DisplayFacts.h"
#include "base/KeyCodes.h"
#include "base/KeyStamps.h"
#include "base/RecentMedian.h"
#include "base/RuntimeError.h"
#include "base/StageTimer.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>
#include <functional>
#include <thread>

using namespace kivora;

class tst_base : public QObject {
    Q_OBJECT
private slots:
    void arithmetic_data();
    void arithmetic();
    void errorText();
    void clockWrap_data();
    void clockWrap();
    void timerIntervalZeroNeverFires();
    void timerNegativeIntervalRefused();
    void preciseTimerFiresOnceAfterInterval();
    void preciseTimerRestartsWhenReEnabled();
    void preciseTimerLeadFiresEarly();
    void keyCodes_data();
    void keyCodes();
    void recentMedianIgnoresOneOutlier();
    void keyStampMatch_data();
    void keyStampMatch();
    void keyStampFromReaderThread();
    void onsetRule_data();
    void onsetRule();
};

void tst_base::arithmetic_data() {
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

void tst_base::arithmetic() {
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

void tst_base::errorText() {
    const RuntimeError e(ErrSubscript);
    QCOMPARE(e.text(), u"実行時エラー '9':\n\nインデックスが有効範囲にありません。"_qs);
    QCOMPARE(RuntimeError(ErrOverflow).text(), u"実行時エラー '6':\n\nオーバーフローしました。"_qs);
    QVERIFY(QString::fromUtf8(RuntimeError(ErrOverflow, u"40000"_qs).what()).endsWith(u"40000"_qs));
}

// The millisecond view of the clock that StartTime holds: 32 bits, wrapping like a 32-bit
// millisecond counter (the reaction time itself comes from the 64-bit microsecond readings).
void tst_base::clockWrap_data() {
    QTest::addColumn<qint64>("us");
    QTest::addColumn<qint32>("ms32");
    QTest::newRow("plain") << qint64(1'734'000) << 1734;
    QTest::newRow("below 2^31 ms") << qint64(2147483647) * 1000 + 999 << 2147483647;
    QTest::newRow("2^31 ms: sign wrap") << qint64(2147483648) * 1000 << -2147483647 - 1;
    QTest::newRow("2^32 ms + 796: full wrap") << qint64(4294967296 + 796) * 1000 << 796;
}

void tst_base::clockWrap() {
    QFETCH(qint64, us);
    QFETCH(qint32, ms32);
    QCOMPARE(Clock::toMs32(us), ms32);
}

namespace {
// Counts how often a precise timer fires while the event loop runs for a while.
int firesWithin(StageTimer &t, int waitMs) {
    QSignalSpy spy(&t, &StageTimer::Timer);
    spy.wait(waitMs);
    return int(spy.count());
}
} // namespace

void tst_base::timerIntervalZeroNeverFires() {
    PreciseTimer t;
    t.setInterval(0);
    t.setEnabled(true);
    QCOMPARE(firesWithin(t, 50), 0);
    QVERIFY(t.Enabled());
}

void tst_base::timerNegativeIntervalRefused() {
    PreciseTimer t;
    QVERIFY_THROWS_EXCEPTION(RuntimeError, t.setInterval(-1));
    QCOMPARE(t.Interval(), 0);
}

void tst_base::preciseTimerFiresOnceAfterInterval() {
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

void tst_base::preciseTimerRestartsWhenReEnabled() {
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

void tst_base::preciseTimerLeadFiresEarly() {
    // A stage whose next screen takes time to paint is raised that much early: of two timers
    // started together with the same interval, the one with a lead fires first, and not before
    // its interval less the lead. Judged by order, not by the wall clock, so that a busy machine's
    // late wake-ups (tens of ms under wine on two loaded cores) change nothing.
    PreciseTimer early;
    PreciseTimer plain;
    early.setInterval(400);
    plain.setInterval(400);
    early.setLeadUs(300'000);
    QStringList fired;
    qint64 earlyAfterMs = -1;
    QElapsedTimer since;
    connect(&early, &StageTimer::Timer, &early, [&] {
        earlyAfterMs = since.elapsed();
        fired << u"early"_qs;
        early.setEnabled(false);
    });
    connect(&plain, &StageTimer::Timer, &plain, [&] {
        fired << u"plain"_qs;
        plain.setEnabled(false);
    });
    since.start();
    early.setEnabled(true);
    plain.setEnabled(true);
    QTRY_COMPARE_WITH_TIMEOUT(fired.size(), 2, 5000);
    QCOMPARE(fired, (QStringList{u"early"_qs, u"plain"_qs}));
    QVERIFY2(earlyAfterMs >= 100, qPrintable(QString::number(earlyAfterMs)));
}

// Physical keys by the platform's own numbers: X11 key codes, or Windows scan codes with the
// virtual key the keyboard layout gives them.
void tst_base::keyCodes_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<quint32>("scanCode");
    QTest::addColumn<quint32>("virtualKey");
    QTest::addColumn<int>("expected");
#ifdef Q_OS_WIN
    QTest::newRow("1 main") << int(Qt::Key_1) << 0 << 0x02u << 0x31u << 49;
    QTest::newRow("2 main") << int(Qt::Key_2) << 0 << 0x03u << 0x32u << 50;
    QTest::newRow("0 main") << int(Qt::Key_0) << 0 << 0x0Bu << 0x30u << 48;
    QTest::newRow("shift+1 US") << int(Qt::Key_Exclam) << int(Qt::ShiftModifier) << 0x02u << 0x31u << 49;
    QTest::newRow("shift+2 US") << int(Qt::Key_At) << int(Qt::ShiftModifier) << 0x03u << 0x32u << 50;
    QTest::newRow("shift+2 JP") << int(Qt::Key_QuoteDbl) << int(Qt::ShiftModifier) << 0x03u << 0x32u << 50;
    QTest::newRow("keypad 1") << int(Qt::Key_1) << int(Qt::KeypadModifier) << 0x4Fu << 0x61u << 97;
    QTest::newRow("keypad 2") << int(Qt::Key_2) << int(Qt::KeypadModifier) << 0x50u << 0x62u << 98;
    QTest::newRow("keypad 1 numlock off")
        << int(Qt::Key_End) << int(Qt::KeypadModifier) << 0x4Fu << 0x23u << 0;
    QTest::newRow("end key") << int(Qt::Key_End) << 0 << 0x14Fu << 0x23u << 0;
    QTest::newRow("Q (0x10) is no digit") << int(Qt::Key_Q) << 0 << 0x10u << 0x51u << 0;
    QTest::newRow("sent by virtual key, shift+2")
        << int(Qt::Key_At) << int(Qt::ShiftModifier) << 0u << 0x32u << 50;
    QTest::newRow("letter") << int(Qt::Key_A) << 0 << 0x1Eu << 0x41u << 0;
    QTest::newRow("enter") << int(Qt::Key_Return) << 0 << 0x1Cu << 0x0Du << 13;
    QTest::newRow("keypad enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << 0x11Cu << 0x0Du << 13;
    QTest::newRow("escape") << int(Qt::Key_Escape) << 0 << 0x01u << 0x1Bu << 27;
#else
    QTest::newRow("1 main") << int(Qt::Key_1) << 0 << 10u << 0u << 49;
    QTest::newRow("2 main") << int(Qt::Key_2) << 0 << 11u << 0u << 50;
    QTest::newRow("shift+1 US") << int(Qt::Key_Exclam) << int(Qt::ShiftModifier) << 10u << 0u << 49;
    QTest::newRow("shift+2 US") << int(Qt::Key_At) << int(Qt::ShiftModifier) << 11u << 0u << 50;
    QTest::newRow("shift+2 JP") << int(Qt::Key_QuoteDbl) << int(Qt::ShiftModifier) << 11u << 0u << 50;
    QTest::newRow("keypad 1") << int(Qt::Key_1) << int(Qt::KeypadModifier) << 87u << 0u << 97;
    QTest::newRow("keypad 2") << int(Qt::Key_2) << int(Qt::KeypadModifier) << 88u << 0u << 98;
    QTest::newRow("keypad 1 numlock off") << int(Qt::Key_End) << int(Qt::KeypadModifier) << 87u << 0u << 0;
    QTest::newRow("3 main") << int(Qt::Key_3) << 0 << 12u << 0u << 51;
    QTest::newRow("letter") << int(Qt::Key_A) << 0 << 38u << 0u << 0;
    QTest::newRow("enter") << int(Qt::Key_Return) << 0 << 36u << 0u << 13;
    QTest::newRow("escape") << int(Qt::Key_Escape) << 0 << 9u << 0u << 27;
#endif
    QTest::newRow("synthetic 1") << int(Qt::Key_1) << 0 << 0u << 0u << 49;
    QTest::newRow("synthetic shift+1") << int(Qt::Key_Exclam) << int(Qt::ShiftModifier) << 0u << 0u << 49;
    QTest::newRow("synthetic @ is no digit") << int(Qt::Key_At) << 0 << 0u << 0u << 0;
}

void tst_base::keyCodes() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(quint32, scanCode);
    QFETCH(quint32, virtualKey);
    QFETCH(int, expected);
    const QKeyEvent e(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers), scanCode, virtualKey, 0);
    QCOMPARE(virtualKeyCode(e), expected);
}

void tst_base::recentMedianIgnoresOneOutlier() {
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

// Which press's stamp the key handler takes: presses are (key code, stamp µs), then the handler
// asks for one key code, handled at 10 s, in a trial that began at 9 s.
using Presses = QList<std::pair<quint32, qint64>>;
void tst_base::keyStampMatch_data() {
    QTest::addColumn<Presses>("presses");
    QTest::addColumn<quint32>("code");
    QTest::addColumn<qint64>("taken"); // -1: none
    QTest::newRow("the press of that key")
        << Presses{{11, 9'900'000}, {10, 9'950'000}} << 10u << qint64(9'950'000);
    QTest::newRow("earliest of two") << Presses{{10, 9'700'000}, {10, 9'950'000}} << 10u << qint64(9'700'000);
    QTest::newRow("another key only") << Presses{{11, 9'950'000}} << 10u << qint64(-1);
    // The reader came second: its stamp is taken (and used up) for as long as the handler waits.
    QTest::newRow("stamped as late after the handler saw it as it waits")
        << Presses{{10, 10'000'000 + KeyStamps::WaitUs}} << 10u << qint64(10'000'000 + KeyStamps::WaitUs);
    QTest::newRow("stamped later than that")
        << Presses{{10, 10'000'001 + KeyStamps::WaitUs}} << 10u << qint64(-1);
    QTest::newRow("before the trial began") << Presses{{10, 8'999'999}} << 10u << qint64(-1);
    QTest::newRow("more than half a second before")
        << Presses{{10, 9'499'999}, {10, 9'600'000}} << 10u << qint64(9'600'000);
}

void tst_base::keyStampMatch() {
    QFETCH(Presses, presses);
    QFETCH(quint32, code);
    QFETCH(qint64, taken);
    KeyStamps stamps;
    for (const auto &[c, us] : presses)
        stamps.add(c, us);
    const std::optional<qint64> stamp = stamps.take(code, 9'000'000, 10'000'000);
    QCOMPARE(stamp.value_or(-1), taken);
    if (stamp) // used up: the next press of that key cannot take it again
        QVERIFY(stamps.take(code, 9'000'000, 10'000'000) != stamp);
}

// The handler may hear of a key before the reader thread has stamped it: it waits for the stamp,
// and gives up only when the whole wait has gone by. Whether the reader thread gets the CPU
// within the wait is up to the system (on a loaded machine it may not), so the handler is tried
// until one reader comes in time; every try that comes away empty must have waited the whole
// wait, and the stamp taken is the reader's.
void tst_base::keyStampFromReaderThread() {
    std::optional<qint64> stamp;
    for (int attempt = 0; attempt < 50 && !stamp; ++attempt) {
        KeyStamps stamps;
        stamps.setFed(true); // the reader reads the keys
        std::thread reader([&] {
            std::this_thread::sleep_for(std::chrono::microseconds(KeyStamps::WaitUs / 5));
            stamps.add(10, 9'990'000);
        });
        QElapsedTimer waited;
        waited.start();
        stamp = stamps.take(10, 9'000'000, 10'000'000);
        const qint64 waitedUs = waited.nsecsElapsed() / 1000;
        reader.join();
        if (!stamp)
            QVERIFY2(waitedUs >= KeyStamps::WaitUs, qPrintable(u"gave up after %1 us"_qs.arg(waitedUs)));
    }
    QCOMPARE(stamp.value_or(-1), qint64(9'990'000));
}

// Exact only where the onset is the display's own flip time and nothing composes the window
// after it; where not, one line says why, in the words a lab acts on.
void tst_base::onsetRule_data() {
    QTest::addColumn<OnsetSource>("source");
    QTest::addColumn<Compositor>("compositor");
    QTest::addColumn<QString>("why"); // empty: exact
    using O = OnsetSource;
    using C = Compositor;
    QTest::newRow("flip, no compositor") << O::Flip << C::No << QString();
    QTest::newRow("flip, bypassed") << O::Flip << C::Bypassed << QString();
    QTest::newRow("flip, redirected") << O::Flip << C::Yes << u"compositing manager redirects"_qs;
    QTest::newRow("flip, Wayland") << O::Flip << C::Wayland << u"Wayland session"_qs;
    QTest::newRow("flip, unknown") << O::Flip << C::Unknown << u"cannot be asked"_qs;
    QTest::newRow("dxgi, overlay") << O::Dxgi << C::Bypassed << QString();
    QTest::newRow("dxgi, composed") << O::Dxgi << C::Yes << u"Windows composes"_qs;
    QTest::newRow("dwm") << O::Dwm << C::Yes << u"Windows composes"_qs;
    QTest::newRow("dwm, were it uncomposed") << O::Dwm << C::No << u"Windows composes"_qs;
    QTest::newRow("flush, no compositor") << O::Flush << C::No << u"drawing reached the window system"_qs;
    QTest::newRow("flush, Wayland") << O::Flush << C::Wayland << u"Wayland session"_qs;
}

void tst_base::onsetRule() {
    QFETCH(OnsetSource, source);
    QFETCH(Compositor, compositor);
    QFETCH(QString, why);
    QCOMPARE(onsetsExact(source, compositor), why.isEmpty());
    const QString told = whyNotExact(source, compositor);
    QVERIFY2(why.isEmpty() ? told.isEmpty() : told.contains(why), qPrintable(told));
}

QTEST_GUILESS_MAIN(tst_base)
#include "tst_base.moc"
