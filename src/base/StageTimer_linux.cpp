// The Linux side of PreciseTimer: a timerfd on CLOCK_MONOTONIC watched by a QSocketNotifier.
#include "base/StageTimer.h"

#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/timerfd.h>
#include <unistd.h>

namespace kivora {

struct PreciseTimer::Wake {
    int fd = -1;
    QSocketNotifier *notifier = nullptr;
};

PreciseTimer::PreciseTimer(QObject *parent) : StageTimer(parent), m_wake(std::make_unique<Wake>()) {
    m_wake->fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_wake->fd < 0)
        throw std::runtime_error(std::string("timerfd_create: ") + std::strerror(errno));
    m_wake->notifier = new QSocketNotifier(m_wake->fd, QSocketNotifier::Read, this);
    m_wake->notifier->setEnabled(false);
    connect(m_wake->notifier, &QSocketNotifier::activated, this, &PreciseTimer::onExpired);
}

PreciseTimer::~PreciseTimer() {
    delete m_wake->notifier;
    if (m_wake->fd >= 0)
        ::close(m_wake->fd);
}

void PreciseTimer::armAt(qint64 deadlineNs) {
    itimerspec when{};
    when.it_value.tv_sec = deadlineNs / 1'000'000'000;
    when.it_value.tv_nsec = deadlineNs % 1'000'000'000;
    timerfd_settime(m_wake->fd, TFD_TIMER_ABSTIME, &when, nullptr);
    m_wake->notifier->setEnabled(true);
}

void PreciseTimer::stop() {
    m_wake->notifier->setEnabled(false);
    itimerspec off{};
    timerfd_settime(m_wake->fd, 0, &off, nullptr);
    quint64 expirations = 0;
    while (::read(m_wake->fd, &expirations, sizeof expirations) > 0) {
    }
}

bool PreciseTimer::takeExpiry() {
    quint64 expirations = 0;
    if (::read(m_wake->fd, &expirations, sizeof expirations) <= 0)
        return false; // stopped and drained in the meantime
    m_wake->notifier->setEnabled(false);
    return true;
}

} // namespace kivora
