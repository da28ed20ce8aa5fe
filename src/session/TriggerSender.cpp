#include "session/TriggerSender.h"

#include "base/Clock.h"
#include "base/StageTimer.h"

namespace kivora {

TriggerSender::TriggerSender(TimeSource &time, Opener open, int pulseMs, QObject *parent)
    : QObject(parent), m_time(time), m_open(std::move(open)), m_pulseMs(pulseMs) {
    m_pulse = m_time.makeTimer(this);
    m_pulse->setInterval(m_pulseMs);
    connect(m_pulse.get(), &StageTimer::Timer, this, &TriggerSender::pulseEnded);
    // Armed from one millisecond before a code's moment (countFrom), so that it fires at it.
    m_due = m_time.makeTimer(this);
    m_due->setInterval(1);
    connect(m_due.get(), &StageTimer::Timer, this, &TriggerSender::writeDue);
}

TriggerSender::~TriggerSender() = default;

bool TriggerSender::open(QString *why) {
    m_port = m_open(why);
    return isOpen();
}

void TriggerSender::send(quint8 code, qint64 markUs, qint16 trial) {
    if (!m_port)
        return;
    m_queue.push_back({code, markUs, trial});
    writeDue();
}

void TriggerSender::writeDue() {
    m_due->setEnabled(false);
    const Clock &clock = m_time.clock();
    while (m_port && !m_queue.empty()) {
        const Due next = m_queue.front();
        if (next.markUs > clock.nowUs()) {
            // Never before its moment; a timer that wakes a little early (the precise timers
            // make up for their own wake-up) is armed again for the rest.
            m_due->countFrom(next.markUs - 1000);
            m_due->setEnabled(true);
            return;
        }
        m_queue.pop_front();
        qint64 us = 0;
        if (!put(next.code, next.trial, &us))
            return;
        m_lastTrial = next.trial;
        if (m_pulseMs > 0) {
            // Restarted: a reset due for an earlier code is dropped.
            m_pulse->setEnabled(false);
            m_pulse->countFrom(us);
            m_pulse->setEnabled(true);
        }
        emit written(TriggerWrite{next.code, next.trial, us, us - next.markUs});
    }
}

bool TriggerSender::put(quint8 code, qint16 trial, qint64 *us) {
    const QString why = m_port->write(code);
    *us = m_time.clock().nowUs();
    if (why.isEmpty())
        return true;
    m_port.reset();
    m_queue.clear();
    m_pulse->setEnabled(false);
    m_due->setEnabled(false);
    emit lost(trial, why, *us);
    return false;
}

void TriggerSender::pulseEnded() {
    m_pulse->setEnabled(false);
    qint64 us = 0;
    if (m_port)
        put(0, m_lastTrial, &us);
}

} // namespace kivora
