// The trigger port of the platform. On Linux a pseudo-terminal pair stands in for a USB trigger
// box; under wine only the refusals run here (the COM port itself runs in wine_check_display; a
// parallel port has no stand-in). A port that names no device is refused at start-up, which
// startup_env checks through the real program.
#include "platform/TriggerDevice.h"

#include <QDeadlineTimer>
#include <QTest>

#ifndef Q_OS_WIN
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#endif

class tst_triggerdevice : public QObject {
    Q_OBJECT
private slots:
    void open_data();
    void open();
};

// Codes arrive at the box's end as they were written (raw: a newline stays 10, nothing is added),
// on a port set to 8N1 without flow control. A write the port cannot take at once fails, saying
// why, and never waits (a waiting write would hang this test). A port that cannot be had is
// refused with its name and the reason.
void tst_triggerdevice::open_data() {
    QTest::addColumn<QString>("port"); // PTY: a pseudo-terminal
    QTest::addColumn<int>("baud");
    QTest::addColumn<QString>("box");    // the box's end read, not read or closed; empty: refused
    QTest::addColumn<QString>("reason"); // why the port or its writes are refused
#ifdef Q_OS_WIN
    QTest::newRow("no such COM port") << u"COM250"_qs << 115200 << QString() << QString();
    QTest::newRow("a parallel port") << u"LPT1"_qs << 115200 << QString() << u"not supported"_qs;
#else
    QTest::newRow("codes arrive") << u"PTY"_qs << 9600 << u"read"_qs << QString();
    QTest::newRow("a rate a serial port has not") << u"PTY"_qs << 12345 << QString() << u"12345 baud"_qs;
    QTest::newRow("nobody reads: the buffer fills")
        << u"PTY"_qs << 115200 << u"not read"_qs << u"buffer is full"_qs;
    QTest::newRow("the box pulled out") << u"PTY"_qs << 115200 << u"closed"_qs << qt_error_string(EIO);
#endif
}

void tst_triggerdevice::open() {
    QFETCH(QString, port);
    QFETCH(int, baud);
    QFETCH(QString, box);
    QFETCH(QString, reason);
#ifndef Q_OS_WIN
    int boxEnd = -1, programEnd = -1;
    char name[256];
    QVERIFY(::openpty(&boxEnd, &programEnd, name, nullptr, nullptr) == 0);
    port = QString::fromLocal8Bit(name);
    const auto closeBox = qScopeGuard([&] { ::close(boxEnd), ::close(programEnd); });
#endif
    QString why;
    const auto trigger = kivora::openTriggerDevice(port, baud, &why);
    if (box.isEmpty()) {
        QVERIFY(!trigger);
        QVERIFY2(why.startsWith(port + u": "_qs) && why.contains(reason), qPrintable(why));
        return;
    }
    QVERIFY2(trigger, qPrintable(why));
#ifndef Q_OS_WIN
    if (box == u"read"_qs) {
        const QByteArray codes("\x01\x0a\x0d\x83\xff\x00", 6);
        for (const char c : codes)
            QCOMPARE(trigger->write(quint8(c)), QString());
        // The terminal may hand the bytes over in more than one read.
        QByteArray seen;
        for (QDeadlineTimer deadline(5000); seen.size() < codes.size() && !deadline.hasExpired();) {
            pollfd ready{boxEnd, POLLIN, 0};
            char chunk[64];
            if (::poll(&ready, 1, 100) > 0)
                seen.append(chunk, std::max<ssize_t>(0, ::read(boxEnd, chunk, sizeof chunk)));
        }
        QCOMPARE(seen, codes);
        termios t{};
        QCOMPARE(::tcgetattr(programEnd, &t), 0);
        QCOMPARE(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
        QCOMPARE(t.c_iflag & (IXON | IXOFF), tcflag_t(0));
        QCOMPARE(::cfgetospeed(&t), speed_t(B9600));
        return;
    }
    if (box == u"closed"_qs)
        ::close(std::exchange(boxEnd, -1));
    QString failed;
    for (int i = 0; i < 1'000'000 && failed.isEmpty(); ++i)
        failed = trigger->write(quint8(i));
    QVERIFY2(failed.startsWith(port) && failed.contains(reason), qPrintable(failed));
#endif
}

QTEST_MAIN(tst_triggerdevice)
#include "tst_triggerdevice.moc"
