#pragma once

#include <QtGlobal>
#include <bitset>
#include <optional>

namespace kivora {

class KeyStamps;

// One keyboard record of Windows Raw Input (RAWKEYBOARD): the fields the key reader uses. Plain
// numbers, so that what the reader makes of them is the same code on every system.
struct RawKeyRecord {
    quint16 makeCode = 0; // MakeCode: the set-1 scan code, without its E0 or E1 prefix
    quint16 flags = 0;    // Flags: RawKeyBreak, RawKeyE0, RawKeyE1
    quint16 vKey = 0;     // VKey: the virtual key; 0xFF for a record that names no key of its own
};

// RAWKEYBOARD's flags: the key went up (RI_KEY_BREAK), its scan code has the E0 prefix of an
// extended key (RI_KEY_E0), or the E1 prefix of Pause (RI_KEY_E1).
inline constexpr quint16 RawKeyBreak = 0x1, RawKeyE0 = 0x2, RawKeyE1 = 0x4;

// The key a record names, in the key handler's numbering: the scan code QKeyEvent::nativeScanCode()
// gives on Windows, which Qt takes from the key message's bits 16 to 24, the make code with
// 0x100 for an extended key. So the top-row 1 and 2 are 0x02 and 0x03, the keypad's 1 and 2
// 0x4F and 0x50 (with NumLock off the same keys are End and Down, the same codes), the keypad's
// Enter 0x11C. Nothing for a record that is no key of the keyboard: part of an escape sequence
// (VKey 0xFF), Pause (E1) or the keyboard's overrun (make code 0xFF). Up or down alike.
std::optional<quint32> rawKeyCode(const RawKeyRecord &record);

// Feeds the key stamps from Raw Input records, on the reader's thread: a key that goes down is
// added with the clock reading taken as its record was read. The keyboard's repeats of a key
// held down are no presses (the key handler takes no stamp for an auto-repeat), and nor is a key
// going up. While a feed exists the key handler waits for the stamps it feeds.
class RawKeyFeed {
public:
    explicit RawKeyFeed(KeyStamps &stamps);
    ~RawKeyFeed();
    RawKeyFeed(const RawKeyFeed &) = delete;
    RawKeyFeed &operator=(const RawKeyFeed &) = delete;

    // Returns the key code stamped, or nothing where the record is no press.
    std::optional<quint32> read(const RawKeyRecord &record, qint64 us);

private:
    KeyStamps &m_stamps;
    std::bitset<0x200> m_down; // by key code: down since its last release
};

} // namespace kivora
