// The X11 side of the window-system calls, through xcb.
#include "app/WindowSystem.h"

#include <QGuiApplication>
#include <cstdlib>
#include <xcb/xcb.h>

namespace kivora {

void waitForWindowSystem() {
    if (!qGuiApp || QGuiApplication::platformName() != u"xcb"_qs)
        return; // offscreen (tests): nothing is sent anywhere
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *c = x11 ? x11->connection() : nullptr;
    if (!c)
        return;
    // The reply comes after the server has handled every earlier request, the picture's included.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

bool displayReachable() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb"))
        return true; // offscreen, wayland, ...: Qt reports its own trouble
    if (platform.isEmpty() && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return true;
    // Qt aborts without a word of ours when the X server cannot be reached; ask first.
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    const bool ok = c && xcb_connection_has_error(c) == 0;
    if (c)
        xcb_disconnect(c);
    return ok;
}

} // namespace kivora
