#pragma once

#include <QtGlobal>

namespace kivora {

// The clock reaction times are measured with. Readings are microseconds of a monotonic clock
// (CLOCK_MONOTONIC on Linux, so another process can compare its own readings with ours).
// timeGetTime() is the millisecond view the program stores: 32 bits, wrapping after 49.7 days
// like the Windows clock of that name, so two readings are compared by their wrapped difference.
class Clock {
public:
    virtual ~Clock() = default;
    virtual qint64 nowUs() const = 0;
    qint32 timeGetTime() const { return toMs32(nowUs()); }

    static qint32 toMs32(qint64 us) { return static_cast<qint32>(static_cast<quint32>(us / 1000)); }
    // later - earlier in ms, right also when the 32-bit clock wrapped between the two readings.
    static qint32 elapsedMs(qint32 earlier, qint32 later) {
        return static_cast<qint32>(static_cast<quint32>(later) - static_cast<quint32>(earlier));
    }
};

class SteadyClock final : public Clock {
public:
    qint64 nowUs() const override;
    static const SteadyClock &instance();
};

} // namespace kivora
