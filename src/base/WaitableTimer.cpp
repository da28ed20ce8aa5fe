#include "base/WaitableTimer.h"

#include <stdexcept>
#include <string>
#include <windows.h>

#include <timeapi.h>

namespace kivora {

namespace {
// Not yet in every SDK's headers (Windows 10 1803 and later).
constexpr DWORD HighResolutionFlag = 0x00000002; // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION

std::string systemError(const char *what) {
    return std::string(what) + " failed (Windows error " + std::to_string(GetLastError()) + ")";
}
} // namespace

std::unique_ptr<WaitableTimer> WaitableTimer::create(Kind kind) {
    if (kind == Kind::Millisecond && timeBeginPeriod(1) != TIMERR_NOERROR)
        return nullptr;
    const DWORD flags = kind == Kind::HighResolution ? HighResolutionFlag : 0;
    HANDLE h = CreateWaitableTimerExW(nullptr, nullptr, flags, TIMER_ALL_ACCESS);
    if (!h) {
        if (kind == Kind::Millisecond)
            timeEndPeriod(1);
        return nullptr;
    }
    return std::unique_ptr<WaitableTimer>(new WaitableTimer(h, kind));
}

std::unique_ptr<WaitableTimer> WaitableTimer::best() {
    if (auto timer = create(Kind::HighResolution))
        return timer;
    if (auto timer = create(Kind::Millisecond))
        return timer;
    throw std::runtime_error(systemError("CreateWaitableTimerExW"));
}

WaitableTimer::~WaitableTimer() {
    CloseHandle(m_handle);
    if (m_kind == Kind::Millisecond)
        timeEndPeriod(1);
}

void WaitableTimer::setIn(qint64 ns) {
    // A negative due time is relative, in 100-ns units, and counts on the system's interrupt
    // time, which a change of the wall clock does not move.
    LARGE_INTEGER due;
    due.QuadPart = -qMax<qint64>(1, ns / 100);
    if (!SetWaitableTimer(m_handle, &due, 0, nullptr, nullptr, FALSE))
        throw std::runtime_error(systemError("SetWaitableTimer"));
}

void WaitableTimer::cancel() {
    CancelWaitableTimer(m_handle);
    // An expiry that came before the cancel leaves the timer signalled until a wait takes it.
    WaitForSingleObject(m_handle, 0);
}

} // namespace kivora
