// The waitable timer behind the stage timers on Windows, in both kinds: the high-resolution one
// where the system has it, and the plain one at a 1-ms system timer period it falls back to
// (wine refuses high resolution, so there the stage timers run on the fallback).
#include "base/StageTimer.h"
#include "base/WaitableTimer.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <windows.h>

using namespace kivora;
using Kind = WaitableTimer::Kind;
Q_DECLARE_METATYPE(WaitableTimer::Kind)

class tst_waitabletimer : public QObject {
    Q_OBJECT
private slots:
    void expiresAfterItsTime_data() { kinds(); }
    void expiresAfterItsTime();
    void expiresOncePerSetting_data() { kinds(); }
    void expiresOncePerSetting();
    void cancelWithdrawsExpiry_data();
    void cancelWithdrawsExpiry();
    void pastTimeExpiresAtOnce();
    void bestIsHighResolutionOrTheFallback();
    void stageTimerRepeatsFromItsDeadlines();

private:
    // One row per kind the system offers; the fallback is always there.
    static void kinds() {
        QTest::addColumn<Kind>("kind");
        QTest::newRow("millisecond") << Kind::Millisecond;
        if (WaitableTimer::create(Kind::HighResolution))
            QTest::newRow("high resolution") << Kind::HighResolution;
    }
    static bool signalled(const WaitableTimer &t, DWORD waitMs) {
        return WaitForSingleObject(t.handle(), waitMs) == WAIT_OBJECT_0;
    }
};

void tst_waitabletimer::expiresAfterItsTime() {
    QFETCH(Kind, kind);
    const auto timer = WaitableTimer::create(kind);
    QVERIFY(timer);
    QCOMPARE(timer->kind(), kind);
    QElapsedTimer since;
    since.start();
    timer->setIn(30'000'000);
    QVERIFY(signalled(*timer, 2000));
    QVERIFY2(since.nsecsElapsed() >= 29'000'000, qPrintable(QString::number(since.nsecsElapsed())));
}

void tst_waitabletimer::expiresOncePerSetting() {
    QFETCH(Kind, kind);
    const auto timer = WaitableTimer::create(kind);
    timer->setIn(5'000'000);
    QVERIFY(signalled(*timer, 2000));
    QVERIFY(!signalled(*timer, 50)); // the wait took the expiry
    timer->setIn(5'000'000);         // and a new setting brings a new one
    QVERIFY(signalled(*timer, 2000));
}

void tst_waitabletimer::cancelWithdrawsExpiry_data() {
    QTest::addColumn<int>("sleepMs"); // between setting (10 ms) and cancelling
    QTest::newRow("before it came") << 0;
    QTest::newRow("after it came, not yet waited for") << 60;
}

void tst_waitabletimer::cancelWithdrawsExpiry() {
    QFETCH(int, sleepMs);
    const auto timer = WaitableTimer::best();
    timer->setIn(10'000'000);
    Sleep(DWORD(sleepMs));
    timer->cancel();
    QVERIFY(!signalled(*timer, 60));
}

void tst_waitabletimer::pastTimeExpiresAtOnce() {
    const auto timer = WaitableTimer::best();
    timer->setIn(-5'000'000); // a deadline already past: the stage is late, not lost
    QVERIFY(signalled(*timer, 1000));
}

void tst_waitabletimer::bestIsHighResolutionOrTheFallback() {
    const bool highResolution = WaitableTimer::create(Kind::HighResolution) != nullptr;
    QCOMPARE(WaitableTimer::best()->kind(), highResolution ? Kind::HighResolution : Kind::Millisecond);
}

// A timer that stays enabled fires every period, each time at its own deadline (start + k
// periods, never before it by more than the half millisecond of learnt wake latency), through
// the notifier and the event loop, whichever kind of timer is under it; disabled in its handler
// it stops.
void tst_waitabletimer::stageTimerRepeatsFromItsDeadlines() {
    PreciseTimer t;
    t.setInterval(20);
    QList<qint64> firedNs;
    QElapsedTimer since;
    connect(&t, &StageTimer::Timer, &t, [&] {
        firedNs << since.nsecsElapsed();
        if (firedNs.size() == 5)
            t.setEnabled(false);
    });
    since.start();
    t.setEnabled(true);
    QTRY_COMPARE_WITH_TIMEOUT(firedNs.size(), 5, 5000);
    for (int k = 1; k <= 5; ++k)
        QVERIFY2(firedNs[k - 1] >= k * 20'000'000 - 600'000, qPrintable(QString::number(firedNs[k - 1])));
    QTest::qWait(60);
    QCOMPARE(firedNs.size(), 5); // nothing after the stop
}

QTEST_GUILESS_MAIN(tst_waitabletimer)
#include "tst_waitabletimer.moc"
