#include "base/KeyCodes.h"

#include <QKeyEvent>

namespace kivora {

namespace {
// The physical top-row digit keys 1..9, 0, by the platform's number for them: X11 key codes
// (evdev + 8) or Windows scan codes (set 1; the extended-key bit is 0x100 and no digit has it).
#ifdef Q_OS_WIN
constexpr quint32 TopRow1 = 0x02, TopRow0 = 0x0B;
#else
constexpr quint32 TopRow1 = 10, TopRow0 = 19;
#endif
} // namespace

int virtualKeyCode(const QKeyEvent &event) {
    const int key = event.key();
    if (event.modifiers() & Qt::KeypadModifier) {
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            return 96 + (key - Qt::Key_0); // VK_NUMPAD0..9
        if (key == Qt::Key_Enter)
            return VK_RETURN;
        return 0;
    }
    const quint32 scan = event.nativeScanCode();
    if (scan >= TopRow1 && scan <= TopRow0)
        return scan == TopRow0 ? '0' : int('1' + (scan - TopRow1));
#ifdef Q_OS_WIN
    // A key sent by a program with its virtual key alone (SendInput without a scan code) still
    // names the digit key, whatever Shift made of its character.
    const quint32 vk = event.nativeVirtualKey();
    if (scan == 0 && vk >= '0' && vk <= '9')
        return int(vk);
#endif
    if (scan == 0) {
        // A synthetic event without a physical key: decide by the key itself. "!" is Shift+1 on
        // both layouts; the other shifted digits differ between layouts and stay unknown.
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            return '0' + (key - Qt::Key_0);
        if (key == Qt::Key_Exclam)
            return VK_1;
    }
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK_RETURN;
    case Qt::Key_Escape:
        return VK_ESCAPE;
    case Qt::Key_Space:
        return VK_SPACE;
    default:
        return 0;
    }
}

std::optional<qint16> answerOf(int keyCode) {
    switch (keyCode) {
    case VK_NUMPAD1:
    case VK_1:
        return 0;
    case VK_NUMPAD2:
    case VK_2:
        return 1;
    default:
        return std::nullopt;
    }
}

} // namespace kivora
