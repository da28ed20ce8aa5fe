// The trigger port of the platform. On Linux a pseudo-terminal pair stands in for a USB trigger
// box: its codes arrive at the other end byte for byte, set up as a serial port for triggers; a
// full buffer or a closed other end fails the write at once, with the reason. Ports that cannot
// be had are refused with the port and the reason, on either system. (A parallel port has no
// stand-in here; the Windows serial port is checked under wine by wine_check_display.)
#include "platform/TriggerDevice.h"

#include <QTemporaryDir>
#include <QTest>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#endif

using kivora::openTriggerDevice;

class tst_triggerdevice : public QObject {
    Q_OBJECT
private slots:
    void serialOnAPty();
    void failsWithoutWaiting_data();
    void failsWithoutWaiting();
    void refused_data();
    void refused();

private:
#ifndef Q_OS_WIN
    // A pseudo-terminal pair: the program's end by its name, the box's end by its descriptor.
    struct Pty {
        int box = -1;
        int own = -1; // the program's end, kept open by the test to look at its settings
        QString name;
        ~Pty() {
            if (box >= 0)
                ::close(box);
            ::close(own);
        }
    };
    static void openPty(Pty &pty) {
        char name[256];
        QVERIFY(::openpty(&pty.box, &pty.own, name, nullptr, nullptr) == 0);
        pty.name = QString::fromLocal8Bit(name);
    }
#endif
};

void tst_triggerdevice::serialOnAPty() {
#ifdef Q_OS_WIN
    QSKIP("no pseudo-terminal on Windows: wine_check_display sends codes through a COM port mapped to one");
#else
    Pty pty;
    openPty(pty);
    QString why;
    const auto port = openTriggerDevice(pty.name, 9600, &why);
    QVERIFY2(port, qPrintable(why));
    // Raw: a newline (10) or a carriage return (13) arrives as it was written, nothing added.
    const QByteArray codes("\x01\x0a\x0d\x83\xff\x00", 6);
    for (const char c : codes)
        QCOMPARE(port->write(quint8(c)), QString());
    QByteArray seen(64, '\0');
    const ssize_t n = ::read(pty.box, seen.data(), seen.size());
    QCOMPARE(seen.first(std::max<ssize_t>(n, 0)), codes);
    termios t{};
    QCOMPARE(::tcgetattr(pty.own, &t), 0);
    QCOMPARE(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
    QCOMPARE(t.c_iflag & (IXON | IXOFF), tcflag_t(0));
    QCOMPARE(::cfgetospeed(&t), speed_t(B9600));
#endif
}

// A write the port cannot take at once fails, saying why, and never waits (a waiting write would
// hang this test).
void tst_triggerdevice::failsWithoutWaiting_data() {
    QTest::addColumn<bool>("closeBox");
    QTest::addColumn<QString>("reason");
    QTest::newRow("nobody reads: the buffer fills") << false << u"buffer is full"_qs;
    QTest::newRow("the box pulled out") << true << qt_error_string(EIO);
}

void tst_triggerdevice::failsWithoutWaiting() {
#ifdef Q_OS_WIN
    QSKIP("no pseudo-terminal on Windows");
#else
    QFETCH(bool, closeBox);
    QFETCH(QString, reason);
    Pty pty;
    openPty(pty);
    QString why;
    const auto port = openTriggerDevice(pty.name, 115200, &why);
    QVERIFY2(port, qPrintable(why));
    if (closeBox)
        ::close(std::exchange(pty.box, -1));
    QString failed;
    for (int i = 0; i < 1'000'000 && failed.isEmpty(); ++i)
        failed = port->write(quint8(i));
    QVERIFY2(failed.startsWith(pty.name) && failed.contains(reason), qPrintable(failed));
#endif
}

void tst_triggerdevice::refused_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("baud");
    QTest::addColumn<QString>("reason");
#ifdef Q_OS_WIN
    QTest::newRow("no such COM port") << u"COM250"_qs << 115200 << QString();
    QTest::newRow("a parallel port") << u"LPT1"_qs << 115200 << u"not supported"_qs;
#else
    QTest::newRow("no such device") << u"/dev/kivora-no-such-port"_qs << 115200 << qt_error_string(ENOENT);
    QTest::newRow("a file, no port") << u"FILE"_qs << 115200 << u"neither a serial port"_qs;
    QTest::newRow("a rate a serial port has not") << u"PTY"_qs << 12345 << u"12345 baud"_qs;
#endif
}

void tst_triggerdevice::refused() {
    QFETCH(QString, port);
    QFETCH(int, baud);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    if (port == u"FILE"_qs) {
        port = dir.filePath(u"trigger"_qs);
        QFile file(port);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
#ifndef Q_OS_WIN
    Pty pty;
    if (port == u"PTY"_qs) {
        openPty(pty);
        port = pty.name;
    }
#endif
    QString why;
    QVERIFY(!openTriggerDevice(port, baud, &why));
    QVERIFY2(why.startsWith(port + u": "_qs) && why.contains(reason), qPrintable(why));
}

QTEST_MAIN(tst_triggerdevice)
#include "tst_triggerdevice.moc"
