#pragma once

#include <QtGlobal>
#include <algorithm>
#include <array>
#include <limits>

namespace kivora {

// The median of the last few measurements of something that is usually steady but now and then
// much slower (a paint while another program is busy). One slow outlier must not move the
// estimate: planning by it would bring the next screen early.
class RecentMedian {
public:
    void add(qint64 value) {
        m_values[std::size_t(m_next)] = value;
        m_next = (m_next + 1) % Size;
        m_count = std::min(m_count + 1, Size);
    }
    bool isEmpty() const { return m_count == 0; }
    qint64 median() const {
        if (m_count == 0)
            return 0;
        // Unused slots sort to the end, so the first m_count are the measurements.
        std::array<qint64, Size> sorted;
        for (int i = 0; i < Size; ++i)
            sorted[std::size_t(i)] =
                i < m_count ? m_values[std::size_t(i)] : std::numeric_limits<qint64>::max();
        std::sort(sorted.begin(), sorted.end());
        return sorted[std::size_t(m_count / 2)];
    }

private:
    static constexpr int Size = 5;
    std::array<qint64, Size> m_values{};
    int m_next = 0;
    int m_count = 0;
};

} // namespace kivora
