#pragma once

#include "base/TriggerPort.h"

#include <QString>
#include <memory>

namespace kivora {

// The trigger port named `port` (--trigger), opened and set up for one-byte codes written without
// waiting:
//   Linux    a serial port, any terminal device (/dev/ttyUSB0, /dev/ttyACM0, a pseudo-terminal):
//            8 data bits, no parity, one stop bit, `baud`, no flow control (RTS/CTS and XON/XOFF
//            off), raw, opened non-blocking, so that a write the port cannot take at once fails
//            (EAGAIN) rather than waits; or a parallel port through the kernel's ppdev
//            (/dev/parport0), claimed, each code put on its data lines with PPWDATA.
//   Windows  a serial port: COM3 is opened as \\.\COM3 (which COM10 and above need), set up the
//            same way with SetCommState, and SetCommTimeouts lets a write wait at most a
//            millisecond, the least it allows (no time-out at all would mean waiting without end).
//            Parallel ports (LPT1) need a third-party driver there: refused, saying so.
// Nothing, and in why the port and the system's reason, where it cannot be opened or set up.
std::unique_ptr<TriggerPort> openTriggerDevice(const QString &port, qint32 baud, QString *why);

} // namespace kivora
