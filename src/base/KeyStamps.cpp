#include "base/KeyStamps.h"

#include <algorithm>
#include <chrono>

namespace kivora {

void KeyStamps::setFed(bool fed) {
    const std::lock_guard lock(m_mutex);
    m_fed = fed;
}

void KeyStamps::add(quint32 keyCode, qint64 us) {
    {
        const std::lock_guard lock(m_mutex);
        m_fed = true;
        m_presses.push_back({keyCode, us});
        if (m_presses.size() > Capacity)
            m_presses.pop_front();
    }
    m_added.notify_all();
}

std::optional<qint64> KeyStamps::take(quint32 keyCode, qint64 notBeforeUs, qint64 handledUs) {
    const qint64 earliest = std::max(notBeforeUs, handledUs - MaxDelayUs);
    // The reader's stamp of this press, where the reader came second, is taken within the wait.
    const qint64 latest = handledUs + WaitUs;
    std::unique_lock lock(m_mutex);
    const auto find = [&] {
        // Presses too old to be this one are of no use to anyone after it either.
        while (!m_presses.empty() && m_presses.front().us < earliest)
            m_presses.pop_front();
        return std::find_if(m_presses.begin(), m_presses.end(),
                            [&](const Press &p) { return p.keyCode == keyCode && p.us <= latest; });
    };
    auto it = find();
    if (it == m_presses.end() && !m_fed)
        return std::nullopt;
    if (it == m_presses.end() && m_added.wait_for(lock, std::chrono::microseconds(WaitUs),
                                                  [&] { return (it = find()) != m_presses.end(); }) == false)
        return std::nullopt;
    const qint64 us = it->us;
    m_presses.erase(it);
    return us;
}

} // namespace kivora
