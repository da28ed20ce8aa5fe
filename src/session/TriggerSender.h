#pragma once

#include "base/TriggerPort.h"

#include <QObject>
#include <QString>
#include <deque>
#include <functional>
#include <memory>

namespace kivora {

class StageTimer;
class TimeSource;

// A code that went out of the trigger port.
struct TriggerWrite {
    quint8 code = 0;
    qint16 trial = 0;
    qint64 us = 0;    // the clock read as the write returned
    qint64 lagUs = 0; // us minus the moment the code marks (a screen's onset, a key's stamp)
};

// Sends trigger codes through a port, each at the moment it marks and never before it: a code
// whose moment has come is written at once, with one call that does not wait; one whose moment
// lies ahead (a screen whose onset is an estimate of a coming refresh) is written when the clock
// reaches it. Codes go out in the order they were sent. pulseMs after each code the port goes
// back to 0 (not with pulseMs 0: the code then stands until the next one); a code written
// before that drops the earlier code's reset. A write the port does not take loses the port:
// nothing more is written until it is opened again.
class TriggerSender final : public QObject {
    Q_OBJECT
public:
    // Opens the port; nothing, and in why the reason, where it cannot be had.
    using Opener = std::function<std::unique_ptr<TriggerPort>(QString *why)>;
    // How long a code stands where no pulse is asked for (--trigger-pulse-ms), ms.
    static constexpr int DefaultPulseMs = 10;
    TriggerSender(TimeSource &time, Opener open, int pulseMs, QObject *parent = nullptr);
    ~TriggerSender() override;

    // Opens the port (again, after it was lost); false, with why, where it cannot be opened.
    bool open(QString *why);
    bool isOpen() const { return bool(m_port); }
    // Sends code for trial, marking clock reading markUs. Nothing where the port is lost.
    void send(quint8 code, qint64 markUs, qint16 trial);

signals:
    // A code went out (the resets to 0 are not told).
    void written(kivora::TriggerWrite write);
    // The port did not take a write (us: the clock as the write returned); trial: the trial of
    // the code, or of the last code where a reset failed.
    void lost(qint16 trial, const QString &reason, qint64 us);

private:
    struct Due {
        quint8 code;
        qint64 markUs;
        qint16 trial;
    };
    // Writes every code whose moment has come, in order; arms the timer for the next one.
    void writeDue();
    // Writes one byte; false (the port lost, told) where the port did not take it.
    bool put(quint8 code, qint16 trial, qint64 *us);
    void pulseEnded();

    TimeSource &m_time;
    Opener m_open;
    int m_pulseMs;
    std::unique_ptr<TriggerPort> m_port;
    std::unique_ptr<StageTimer> m_pulse; // the reset of the code standing
    std::unique_ptr<StageTimer> m_due;   // the moment of the first code still to come
    std::deque<Due> m_queue;
    qint16 m_lastTrial = 0; // the trial of the code standing
};

} // namespace kivora
