// The Windows side of the window-system calls.
#include "app/WindowSystem.h"

#include <windows.h>

namespace kivora {

void waitForWindowSystem() {
    // GDI batches drawing calls per thread; the backing store's copy to the window is one.
    GdiFlush();
}

bool displayReachable() {
    return true;
}

} // namespace kivora
