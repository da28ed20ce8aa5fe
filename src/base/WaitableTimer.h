#pragma once

#include <QtGlobal>
#include <memory>

namespace kivora {

// A one-shot Windows waitable timer. It resets itself when a wait on it succeeds, so each expiry
// wakes one waiter once. Windows only (StageTimer_windows.cpp builds PreciseTimer on it).
class WaitableTimer {
public:
    enum class Kind {
        // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION: wakes a fraction of a millisecond after its time
        // whatever the system timer period is (Windows 10 1803 and later).
        HighResolution,
        // A plain timer, with the system timer period lowered to 1 ms (timeBeginPeriod) for as
        // long as the timer exists; without that it would wake on the 15.6 ms system tick.
        Millisecond,
    };

    // A timer of this kind, or nullptr when the system refuses it (Windows before 10 1803, and
    // wine, refuse HighResolution).
    static std::unique_ptr<WaitableTimer> create(Kind kind);
    // HighResolution where the system has it, Millisecond otherwise. Throws std::runtime_error
    // with the system's reason when neither can be made.
    static std::unique_ptr<WaitableTimer> best();

    ~WaitableTimer();
    WaitableTimer(const WaitableTimer &) = delete;
    WaitableTimer &operator=(const WaitableTimer &) = delete;

    Kind kind() const { return m_kind; }
    // The HANDLE to wait on (QWinEventNotifier, WaitForSingleObject).
    void *handle() const { return m_handle; }
    // Expires once, ns nanoseconds from now (at once for ns <= 0). Replaces an earlier setting.
    // Throws std::runtime_error when the system refuses.
    void setIn(qint64 ns);
    // Withdraws the expiry: a pending one, and one that has come but has not been waited for.
    void cancel();

private:
    WaitableTimer(void *handle, Kind kind) : m_handle(handle), m_kind(kind) {}
    void *m_handle;
    Kind m_kind;
};

} // namespace kivora
