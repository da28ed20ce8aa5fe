// The X11 side of the window-system calls, through xcb.
#include "platform/WindowSystem.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/composite.h>
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

template <typename Reply> std::unique_ptr<Reply, decltype(&std::free)> owned(Reply *reply) {
    return {reply, &std::free};
}

// Whether a compositing manager runs: someone owns the selection _NET_WM_CM_S<screen> of the
// display's default screen, where Qt puts its windows. The selection's atom is asked for until
// it exists (a manager that starts later makes it), then kept.
bool managerRuns(xcb_connection_t *c) {
    static xcb_atom_t selection = XCB_ATOM_NONE;
    if (selection == XCB_ATOM_NONE) {
        char *host = nullptr;
        int display = 0;
        int screen = 0;
        if (!xcb_parse_display(nullptr, &host, &display, &screen))
            screen = 0;
        std::free(host);
        const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screen);
        const auto atom = owned(
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, quint16(name.size()), name.constData()), nullptr));
        if (!atom || atom->atom == XCB_ATOM_NONE)
            return false; // nobody ever asked for the name, so nobody owns it
        selection = atom->atom;
    }
    const auto owner =
        owned(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
    return owner && owner->owner != XCB_WINDOW_NONE;
}

// The X server is XWayland, a Wayland compositor's X server: it lists the extension XWAYLAND
// (from version 23.1), and names its monitors (RandR outputs) XWAYLAND0, XWAYLAND1, ... (earlier
// versions too, Debian 12's among them).
bool isXWayland(xcb_connection_t *c) {
    const char name[] = "XWAYLAND";
    const auto reply =
        owned(xcb_query_extension_reply(c, xcb_query_extension(c, std::strlen(name), name), nullptr));
    if (reply && reply->present)
        return true;
    const QList<QScreen *> screens = QGuiApplication::screens();
    return std::any_of(screens.begin(), screens.end(),
                       [](const QScreen *s) { return s->name().startsWith(u"XWAYLAND"_qs); });
}

// What the X server is and offers does not change while the program runs: asked once, not at
// every trial's countdown.
struct ServerFacts {
    bool xwayland = false;
    bool composite = false; // the Composite extension, its version asked (it answers nothing else before)
};

const ServerFacts &serverFacts(xcb_connection_t *c) {
    static const ServerFacts facts = [c] {
        ServerFacts f;
        f.xwayland = isXWayland(c);
        const xcb_query_extension_reply_t *composite = xcb_get_extension_data(c, &xcb_composite_id);
        f.composite = composite && composite->present;
        if (f.composite)
            std::free(xcb_composite_query_version_reply(
                c, xcb_composite_query_version(c, XCB_COMPOSITE_MAJOR_VERSION, XCB_COMPOSITE_MINOR_VERSION),
                nullptr));
        return f;
    }();
    return facts;
}

// The ancestor of window whose parent is the root window: the window manager's frame where one
// manages the window, else the window itself. 0 where the tree cannot be read.
xcb_window_t topLevel(xcb_connection_t *c, xcb_window_t window) {
    for (int depth = 0; window && depth < 64; ++depth) {
        const auto tree = owned(xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
        if (!tree)
            return 0;
        if (tree->parent == tree->root || tree->parent == XCB_WINDOW_NONE)
            return window;
        window = tree->parent;
    }
    return 0;
}

} // namespace

void waitForWindowSystem() {
    xcb_connection_t *c = qtConnection();
    if (!c)
        return; // nothing is sent anywhere
    // The reply comes after the server has handled every earlier request, the picture's included.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

Compositor compositorOf(quintptr nativeWindow) {
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return Compositor::Wayland;
    xcb_connection_t *c = qtConnection();
    if (!c || !nativeWindow)
        return Compositor::Unknown;
    const ServerFacts &server = serverFacts(c);
    if (server.xwayland)
        return Compositor::Wayland;
    if (!server.composite)
        return Compositor::Unknown;
    const xcb_window_t top = topLevel(c, xcb_window_t(nativeWindow));
    if (!top)
        return Compositor::Unknown;
    const auto attributes =
        owned(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, top), nullptr));
    if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
        return Compositor::Unknown; // a window not on screen is refused either way
    // A redirected window has an off-screen pixmap the compositor draws from, and naming it
    // succeeds; a window drawn straight to the screen has none, and the server answers BadMatch.
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    const auto error = owned(xcb_request_check(c, xcb_composite_name_window_pixmap_checked(c, top, pixmap)));
    if (!error) {
        xcb_free_pixmap(c, pixmap);
        return Compositor::Yes;
    }
    if (error->error_code != XCB_MATCH)
        return Compositor::Unknown;
    return managerRuns(c) ? Compositor::Bypassed : Compositor::No;
}

void askCompositorBypass(quintptr nativeWindow) {
    xcb_connection_t *c = qtConnection();
    if (!c || !nativeWindow)
        return;
    const char name[] = "_NET_WM_BYPASS_COMPOSITOR";
    const auto atom =
        owned(xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr));
    if (!atom)
        return;
    const quint32 bypass = 1; // 1: please leave it alone; 2 would ask to composite it
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, xcb_window_t(nativeWindow), atom->atom, XCB_ATOM_CARDINAL,
                        32, 1, &bypass);
    xcb_flush(c);
}

void preferX11() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

bool displayReachable() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb"))
        return true; // offscreen, wayland, ...: Qt reports its own trouble
    if (platform.isEmpty() && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return true; // Qt's own choice in a Wayland session (the report's dialogs need no X11)
    // Qt aborts without a word of ours when the X server cannot be reached; ask first.
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    const bool ok = c && xcb_connection_has_error(c) == 0;
    if (c)
        xcb_disconnect(c);
    return ok;
}

} // namespace kivora
