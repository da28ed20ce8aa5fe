// The Linux side of the trigger port: a terminal device through termios, a parallel port through
// ppdev. Both write with one system call on a descriptor that never blocks.
#include "platform/TriggerDevice.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace kivora {

namespace {

QString systemReason(const QString &port, int error) {
    return port + u": "_qs + qt_error_string(error);
}

class SerialPort final : public TriggerPort {
public:
    SerialPort(int fd, QString name) : m_fd(fd), m_name(std::move(name)) {}
    ~SerialPort() override { ::close(m_fd); }
    QString write(quint8 code) override {
        const ssize_t n = ::write(m_fd, &code, 1);
        if (n == 1)
            return {};
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return m_name + u": the port's output buffer is full (a write would have to wait)"_qs;
        return n < 0 ? systemReason(m_name, errno) : m_name + u": the port took no byte"_qs;
    }

private:
    int m_fd;
    QString m_name;
};

class ParallelPort final : public TriggerPort {
public:
    ParallelPort(int fd, QString name) : m_fd(fd), m_name(std::move(name)) {}
    ~ParallelPort() override {
        ::ioctl(m_fd, PPRELEASE);
        ::close(m_fd);
    }
    QString write(quint8 code) override {
        unsigned char data = code;
        return ::ioctl(m_fd, PPWDATA, &data) == 0 ? QString() : systemReason(m_name, errno);
    }

private:
    int m_fd;
    QString m_name;
};

// The termios constant of a rate; 0 for one the terminal interface has none for.
speed_t speedOf(qint32 baud) {
    static const struct {
        qint32 baud;
        speed_t speed;
    } rates[] = {{50, B50},           {75, B75},           {110, B110},         {134, B134},
                 {150, B150},         {200, B200},         {300, B300},         {600, B600},
                 {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
                 {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
                 {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
                 {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
                 {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
                 {3500000, B3500000}, {4000000, B4000000}};
    for (const auto &r : rates)
        if (r.baud == baud)
            return r.speed;
    return 0;
}

// 8 data bits, no parity, one stop bit, no flow control, raw, at speed; why not where the
// terminal does not take it.
QString setUpSerial(int fd, speed_t speed, qint32 baud) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return qt_error_string(errno);
    ::cfmakeraw(&t);
    t.c_cflag &= ~tcflag_t(PARENB | CSTOPB | CSIZE | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (::cfsetispeed(&t, speed) != 0 || ::cfsetospeed(&t, speed) != 0 || ::tcsetattr(fd, TCSANOW, &t) != 0)
        return qt_error_string(errno);
    // tcsetattr succeeds where any part of the settings took: read them back.
    termios now{};
    const tcflag_t kept = PARENB | CSTOPB | CSIZE | CRTSCTS;
    if (::tcgetattr(fd, &now) != 0 || (now.c_cflag & kept) != (t.c_cflag & kept) ||
        (now.c_iflag & (IXON | IXOFF)) != 0 || ::cfgetospeed(&now) != speed)
        return u"the port did not take 8 data bits, no parity, one stop bit, %1 baud, no flow control"_qs.arg(
            baud);
    return {};
}

} // namespace

std::unique_ptr<TriggerPort> openTriggerDevice(const QString &port, qint32 baud, QString *why) {
    const int fd = ::open(QFile::encodeName(port).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *why = systemReason(port, errno);
        return nullptr;
    }
    if (::isatty(fd)) {
        const speed_t speed = speedOf(baud);
        const QString problem = speed == 0 ? u"%1 baud is not a rate a serial port can be set to"_qs.arg(baud)
                                           : setUpSerial(fd, speed, baud);
        if (!problem.isEmpty()) {
            ::close(fd);
            *why = port + u": "_qs + problem;
            return nullptr;
        }
        return std::make_unique<SerialPort>(fd, port);
    }
    // Not a terminal: a parallel port where ppdev lets it be claimed.
    if (::ioctl(fd, PPCLAIM) != 0) {
        const int error = errno;
        ::close(fd);
        *why = error == ENOTTY || error == EINVAL
                   ? port + u": neither a serial port (a terminal device) nor a parallel port (ppdev)"_qs
                   : port + u": the parallel port cannot be claimed: "_qs + qt_error_string(error);
        return nullptr;
    }
    // The data lines driven by the port, in the plain (compatibility) mode.
    int mode = IEEE1284_MODE_COMPAT;
    ::ioctl(fd, PPSETMODE, &mode);
    int forward = 0;
    ::ioctl(fd, PPDATADIR, &forward);
    return std::make_unique<ParallelPort>(fd, port);
}

} // namespace kivora
