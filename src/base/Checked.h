#pragma once

#include "base/RuntimeError.h"

#include <QtGlobal>
#include <array>
#include <limits>

namespace kivora {

// 16-bit signed arithmetic that raises the overflow error (6) instead of wrapping. Counts,
// indices and the trial fields are all 16-bit; a result outside -32768..32767 is an error.
inline qint16 checked16(int value) {
    if (value < std::numeric_limits<qint16>::min() || value > std::numeric_limits<qint16>::max())
        throw RuntimeError(ErrOverflow, QString::number(value));
    return static_cast<qint16>(value);
}
inline qint16 add16(qint16 a, qint16 b) {
    return checked16(int(a) + int(b));
}
inline qint16 sub16(qint16 a, qint16 b) {
    return checked16(int(a) - int(b));
}
inline qint16 mul16(qint16 a, qint16 b) {
    return checked16(int(a) * int(b));
}

// 32-bit signed addition with the same rule (sums of reaction times).
inline qint32 add32(qint32 a, qint32 b) {
    qint32 r;
    if (__builtin_add_overflow(a, b, &r))
        throw RuntimeError(ErrOverflow, QString::number(qint64(a) + qint64(b)));
    return r;
}

// A fixed table indexed 0..N-1 whose every access is tested against its bounds and raises the
// subscript-out-of-range error (9) outside them.
template <typename T, int N> class CheckedArray {
public:
    static constexpr int size() { return N; }
    T &operator[](int i) { return m_items[index(i)]; }
    const T &operator[](int i) const { return m_items[index(i)]; }
    void fill(const T &value) { m_items.fill(value); }
    bool operator==(const CheckedArray &) const = default;

private:
    static std::size_t index(int i) {
        if (i < 0 || i >= N)
            throw RuntimeError(ErrSubscript, QString::number(i));
        return static_cast<std::size_t>(i);
    }
    std::array<T, N> m_items{};
};

} // namespace kivora
