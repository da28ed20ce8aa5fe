#pragma once

#include <QtGlobal>
#include <optional>

class QKeyEvent;

namespace kivora {

// The virtual-key codes of the keys the program tells apart (the numbers a Windows keyboard
// driver gives them; the key handler compares these).
enum VirtualKey : int {
    VK_RETURN = 13,
    VK_ESCAPE = 27,
    VK_SPACE = 32, // starts what a text screen waits for
    VK_1 = 49,     // 1 on the main keyboard
    VK_2 = 50,
    VK_NUMPAD1 = 97, // 1 on the numeric keypad (NumLock on)
    VK_NUMPAD2 = 98,
};

// The virtual-key code of a key press, decided by the physical key where the platform tells it:
// Shift+1 types "!" (Qt::Key_Exclam) on US and Japanese layouts alike but is still key 1, so
// the main-keyboard digits come from the X11 key code or the Windows scan code, not the
// character. With NumLock off the keypad keys arrive as End/Down and are not digits. Keys the
// program has no use for give 0.
int virtualKeyCode(const QKeyEvent &event);

// The answer a key gives: code 0 (the figure as it was) for key 1 of the main keyboard or the
// keypad, code 1 (mirrored) for key 2; nothing for any other key.
std::optional<qint16> answerOf(int keyCode);

} // namespace kivora
