// The Windows side of the window-system calls.
#include "platform/WindowSystem.h"

#include <windows.h>

namespace kivora {

void waitForWindowSystem() {
    // GDI batches drawing calls per thread; the backing store's copy to the window is one.
    GdiFlush();
}

bool displayReachable() {
    return true;
}

Compositor compositorOf(quintptr nativeWindow) {
    // The desktop window manager composes every window of Windows 8 and later: a window's
    // picture reaches the screen at the compositor's next refresh after it is drawn.
    return nativeWindow ? Compositor::Yes : Compositor::Unknown;
}

void preferX11() {}

void askCompositorBypass(quintptr) {}

} // namespace kivora
