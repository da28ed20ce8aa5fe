#pragma once

#include <QtGlobal>

// The native numbers a key press brings from the window system, for window tests that send
// keys as the platform delivers them: X11 key codes (evdev + 8) on Linux; scan codes (set 1,
// 0x100 for an extended key) and virtual keys on Windows. Both sets are there on every system
// (native::win, native::x11), for unit tests of what a platform's reader makes of its input;
// native:: itself names this platform's.
struct NativeKey {
    quint32 scan;
    quint32 virtualKey;
};

namespace native {
namespace win {
inline constexpr NativeKey Main1{0x02, 0x31}, Main2{0x03, 0x32}, Main3{0x04, 0x33};
inline constexpr NativeKey Pad1{0x4F, 0x61}, Pad2{0x50, 0x62};
inline constexpr NativeKey Pad1NumLockOff{0x4F, 0x23}; // VK_END
inline constexpr NativeKey LetterA{0x1E, 0x41};
inline constexpr NativeKey MainEnter{0x1C, 0x0D}, KeypadEnter{0x11C, 0x0D};
inline constexpr NativeKey Escape{0x01, 0x1B};
inline constexpr NativeKey End{0x14F, 0x23}; // the End key beside the main keyboard
} // namespace win
namespace x11 {
inline constexpr NativeKey Main1{10, 0}, Main2{11, 0}, Main3{12, 0};
inline constexpr NativeKey Pad1{87, 0}, Pad2{88, 0};
inline constexpr NativeKey Pad1NumLockOff{87, 0};
inline constexpr NativeKey LetterA{38, 0};
inline constexpr NativeKey MainEnter{36, 0}, KeypadEnter{104, 0};
inline constexpr NativeKey Escape{9, 0};
} // namespace x11
#ifdef Q_OS_WIN
using namespace win;
#else
using namespace x11;
#endif
} // namespace native
