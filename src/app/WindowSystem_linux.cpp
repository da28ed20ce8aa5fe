// The X11 side of the window-system calls, through xcb.
#include "app/WindowSystem.h"

#include <QGuiApplication>
#include <cstdlib>
#include <xcb/xcb.h>

namespace kivora {

namespace {

// Qt's own connection to the X server; none on other platforms (offscreen in the tests).
xcb_connection_t *qtConnection() {
    if (!qGuiApp || QGuiApplication::platformName() != u"xcb"_qs)
        return nullptr;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

} // namespace

void waitForWindowSystem() {
    xcb_connection_t *c = qtConnection();
    if (!c)
        return; // nothing is sent anywhere
    // The reply comes after the server has handled every earlier request, the picture's included.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

std::optional<bool> compositorActive() {
    xcb_connection_t *c = qtConnection();
    if (!c)
        return std::nullopt;
    // The selection of the display's default screen, where Qt puts its windows.
    char *host = nullptr;
    int display = 0;
    int screen = 0;
    if (!xcb_parse_display(nullptr, &host, &display, &screen))
        screen = 0;
    std::free(host);
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screen);
    xcb_intern_atom_reply_t *atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, quint16(name.size()), name.constData()), nullptr);
    if (!atom)
        return std::nullopt;
    const xcb_atom_t selection = atom->atom;
    std::free(atom);
    if (selection == XCB_ATOM_NONE)
        return false; // nobody ever asked for the name, so nobody owns it
    xcb_get_selection_owner_reply_t *owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    if (!owner)
        return std::nullopt;
    const bool owned = owner->owner != XCB_WINDOW_NONE;
    std::free(owner);
    return owned;
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
