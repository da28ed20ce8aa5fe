#include "platform/WindowSystem.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace kivora {

void repaintNow(QWidget *window) {
    QCoreApplication::sendPostedEvents(window, QEvent::UpdateRequest);
    waitForWindowSystem();
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
