#pragma once

#include <QtGlobal>

namespace kivora {

// The clock reaction times are measured with. Readings are microseconds of a monotonic clock
// (CLOCK_MONOTONIC on Linux, QueryPerformanceCounter on Windows), so another process can compare
// its own readings with ours.
class Clock {
public:
    virtual ~Clock() = default;
    virtual qint64 nowUs() const = 0;

    // The millisecond view that StartTime keeps: 32 bits, wrapping after 49.7 days. Reaction
    // times come from the 64-bit microsecond readings, which never wrap.
    static qint32 toMs32(qint64 us) { return static_cast<qint32>(static_cast<quint32>(us / 1000)); }
};

class SteadyClock final : public Clock {
public:
    qint64 nowUs() const override;
    static const SteadyClock &instance();
    // The system's name of the clock behind std::chrono::steady_clock, for texts that tell a
    // lab which clock t_us is: "CLOCK_MONOTONIC" or "QueryPerformanceCounter".
    static const char *systemName();
};

// A QueryPerformanceCounter reading (ticks >= 0, at frequency ticks a second) in the microseconds
// of SteadyClock on Windows: std::chrono::steady_clock reads the counter as whole seconds and
// nanoseconds rounded to the nearest, and the microseconds are those nanoseconds cut down. A time
// that Windows gives in counter ticks (a key's arrival, a vblank) then compares with the program's
// own readings to the microsecond. Plain arithmetic, the same on every system.
qint64 qpcTicksToUs(qint64 ticks, qint64 frequency);

} // namespace kivora
