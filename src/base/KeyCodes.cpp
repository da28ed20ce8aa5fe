#include "base/KeyCodes.h"

#include <QKeyEvent>

namespace kivora {

namespace {
// X11 key codes (evdev + 8) of the top-row digits 1..9, 0 and of the keypad digits.
constexpr quint32 X11TopRow1 = 10, X11TopRow0 = 19;
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
    if (scan >= X11TopRow1 && scan <= X11TopRow0)
        return scan == X11TopRow0 ? '0' : int('1' + (scan - X11TopRow1));
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
    default:
        return 0;
    }
}

} // namespace kivora
