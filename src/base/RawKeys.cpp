#include "base/RawKeys.h"

#include "base/KeyStamps.h"

namespace kivora {

namespace {
constexpr quint16 NoKey = 0xFF;        // VKey of a record that is part of an escape sequence
constexpr quint16 Overrun = 0xFF;      // make code of KEYBOARD_OVERRUN_MAKE_CODE
constexpr quint32 ExtendedKey = 0x100; // the extended-key bit of Qt's scan code
} // namespace

std::optional<quint32> rawKeyCode(const RawKeyRecord &record) {
    if (record.vKey == NoKey || record.makeCode == Overrun || (record.flags & RawKeyE1))
        return std::nullopt;
    return quint32(record.makeCode & 0xFF) | ((record.flags & RawKeyE0) ? ExtendedKey : 0);
}

RawKeyFeed::RawKeyFeed(KeyStamps &stamps) : m_stamps(stamps) {
    m_stamps.setFed(true);
}

RawKeyFeed::~RawKeyFeed() {
    m_stamps.setFed(false);
}

std::optional<quint32> RawKeyFeed::read(const RawKeyRecord &record, qint64 us) {
    const std::optional<quint32> code = rawKeyCode(record);
    if (!code)
        return std::nullopt;
    if (record.flags & RawKeyBreak) {
        m_down.reset(*code);
        return std::nullopt;
    }
    if (m_down.test(*code))
        return std::nullopt; // repeated while held
    m_down.set(*code);
    m_stamps.add(*code, us);
    return code;
}

} // namespace kivora
