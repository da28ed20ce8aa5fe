#include "app/WindowSystem.h"

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
