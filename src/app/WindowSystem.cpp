#include "app/WindowSystem.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
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

void repaintNow(QWidget *window) {
    QCoreApplication::sendPostedEvents(window, QEvent::UpdateRequest);
    waitForWindowSystem();
}

std::optional<bool> compositorActive() {
    if (!qGuiApp || QGuiApplication::platformName() != u"xcb"_qs)
        return std::nullopt;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *c = x11 ? x11->connection() : nullptr;
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

namespace {
class FirstPaintWatch final : public QObject {
public:
    FirstPaintWatch(QWidget *watched, std::function<void()> done)
        : QObject(watched), m_done(std::move(done)) {}
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Paint && m_done) {
            watched->removeEventFilter(this);
            // Queued: the paint event is delivered before the picture is flushed to the screen.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    waitForWindowSystem();
                    std::exchange(m_done, nullptr)();
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    std::function<void()> m_done;
};
} // namespace

void onFirstPaint(QWidget *widget, std::function<void()> done) {
    widget->installEventFilter(new FirstPaintWatch(widget, std::move(done)));
}

} // namespace kivora
