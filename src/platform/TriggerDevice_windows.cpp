// The Windows side of the trigger port: a serial port through CreateFileW, SetCommState and
// WriteFile. One WriteFile a code, on a handle whose writes may wait a millisecond at most.
#include "platform/TriggerDevice.h"

#include <QRegularExpression>

#include <windows.h>

namespace kivora {

namespace {

class SerialPort final : public TriggerPort {
public:
    SerialPort(HANDLE handle, QString name) : m_handle(handle), m_name(std::move(name)) {}
    ~SerialPort() override { CloseHandle(m_handle); }
    QString write(quint8 code) override {
        DWORD written = 0;
        if (!WriteFile(m_handle, &code, 1, &written, nullptr))
            return m_name + u": "_qs + qt_error_string(-1);
        if (written != 1)
            return m_name +
                   u": the port took no byte within a millisecond (its buffer full, or the device gone)"_qs;
        return {};
    }

private:
    HANDLE m_handle;
    QString m_name;
};

} // namespace

std::unique_ptr<TriggerPort> openTriggerDevice(const QString &port, qint32 baud, QString *why) {
    static const QRegularExpression parallel(u"\\A(\\\\\\\\\\.\\\\)?LPT\\d+\\z"_qs,
                                             QRegularExpression::CaseInsensitiveOption);
    if (parallel.match(port).hasMatch()) {
        *why = port + u": parallel ports need a third-party driver on Windows and are not supported; use a "
                      u"serial port (most USB trigger boxes are one)"_qs;
        return nullptr;
    }
    // \\.\COM10: the device namespace, where every COM port is found by its name.
    const QString path = port.startsWith(u"\\\\"_qs) ? port : u"\\\\.\\"_qs + port;
    const HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()),
                                      GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *why = port + u": "_qs + qt_error_string(-1);
        return nullptr;
    }
    const auto fail = [&](const QString &what) {
        *why = port + u": "_qs + what + u": "_qs + qt_error_string(-1);
        CloseHandle(handle);
        return nullptr;
    };
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!GetCommState(handle, &dcb))
        return fail(u"not a serial port"_qs);
    // 8 data bits, no parity, one stop bit, no flow control of either kind.
    dcb.BaudRate = DWORD(baud);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    if (!SetCommState(handle, &dcb))
        return fail(
            u"the port did not take 8 data bits, no parity, one stop bit, %1 baud, no flow control"_qs.arg(
                baud));
    // Reads return at once (nothing is read); a write waits a millisecond at most: both time-outs 0
    // would let it wait without end.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 1;
    if (!SetCommTimeouts(handle, &timeouts))
        return fail(u"the port did not take its time-outs"_qs);
    return std::make_unique<SerialPort>(handle, port);
}

} // namespace kivora
