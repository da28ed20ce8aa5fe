// The Windows side of PreciseTimer: a waitable timer (WaitableTimer: high resolution where the
// system has it, else a plain one at a 1-ms system timer period) watched by a QWinEventNotifier.
// Deadlines stay absolute on the steady clock (QueryPerformanceCounter); each arming hands the
// timer the time that is left until the deadline.
#include "base/StageTimer.h"

#include "base/WaitableTimer.h"

#include <QWinEventNotifier>

namespace kivora {

struct PreciseTimer::Wake {
    std::unique_ptr<WaitableTimer> timer;
    QWinEventNotifier *notifier = nullptr;
};

PreciseTimer::PreciseTimer(QObject *parent) : StageTimer(parent), m_wake(std::make_unique<Wake>()) {
    m_wake->timer = WaitableTimer::best();
    m_wake->notifier = new QWinEventNotifier(m_wake->timer->handle(), this);
    m_wake->notifier->setEnabled(false);
    connect(m_wake->notifier, &QWinEventNotifier::activated, this, &PreciseTimer::onExpired);
}

PreciseTimer::~PreciseTimer() {
    delete m_wake->notifier; // stops watching before the handle closes
}

void PreciseTimer::armAt(qint64 deadlineNs) {
    m_wake->timer->setIn(deadlineNs - monotonicNs());
    m_wake->notifier->setEnabled(true);
}

void PreciseTimer::stop() {
    // Disabled first: an activation already on its way is then dropped by the notifier.
    m_wake->notifier->setEnabled(false);
    m_wake->timer->cancel();
}

bool PreciseTimer::takeExpiry() {
    // The notifier's wait has consumed the expiry; one withdrawn by stop() never arrives.
    m_wake->notifier->setEnabled(false);
    return true;
}

} // namespace kivora
