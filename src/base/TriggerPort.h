#pragma once

#include <QString>
#include <QtGlobal>

namespace kivora {

// A port a recorder (EEG, eye tracker, skin conductance) reads one-byte trigger codes from: a
// serial port or a parallel port, opened and set up by the platform's side
// (platform/TriggerDevice.h), a fake in the tests.
// The serial port's rate where none is asked for (--trigger-baud); USB trigger boxes ignore it.
inline constexpr qint32 DefaultTriggerBaud = 115200;

class TriggerPort {
public:
    virtual ~TriggerPort() = default;
    // Puts code on the port with one system call that does not wait. Empty where the port took
    // it; else why not (a port pulled out, a buffer full): the port is then of no more use.
    virtual QString write(quint8 code) = 0;
};

} // namespace kivora
