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

} // namespace kivora
