#include "base/KeyStamps.h"

#include <algorithm>

namespace kivora {

void KeyStamps::add(quint32 keyCode, qint64 us) {
    const std::lock_guard lock(m_mutex);
    m_presses.push_back({keyCode, us});
    if (m_presses.size() > Capacity)
        m_presses.pop_front();
}

std::optional<qint64> KeyStamps::take(quint32 keyCode, qint64 notBeforeUs) {
    const std::lock_guard lock(m_mutex);
    // Presses too old to be this one are of no use to anyone after it either.
    while (!m_presses.empty() && m_presses.front().us < notBeforeUs)
        m_presses.pop_front();
    const auto it = std::find_if(m_presses.begin(), m_presses.end(),
                                 [&](const Press &p) { return p.keyCode == keyCode; });
    if (it == m_presses.end())
        return std::nullopt;
    const qint64 us = it->us;
    m_presses.erase(it);
    return us;
}

} // namespace kivora
