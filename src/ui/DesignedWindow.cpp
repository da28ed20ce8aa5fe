#include "ui/DesignedWindow.h"

#include "platform/WindowSystem.h"
#include "ui/Screens.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

namespace kivora {

DesignedWindow::DesignedWindow(QSize designed, QWidget *parent)
    : QWidget(parent), m_panel(new QWidget(this)) {
    m_panel->setObjectName(u"panel"_qs);
    m_panel->resize(designed);
    resize(designed);
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &DesignedWindow::screenRemoved);
}

QScreen *DesignedWindow::shownOn() const {
    return windowHandle() && windowHandle()->screen() ? windowHandle()->screen() : screen();
}

ScreenFacts DesignedWindow::screenFacts() const {
    const QScreen *s = shownOn();
    return {m_fullscreen, s ? s->name() : QString(), s ? modelOf(s) : QString()};
}

void DesignedWindow::showOn(QScreen *target, bool fullscreen) {
    if (!target)
        target = QGuiApplication::primaryScreen();
    if (m_designedPos.isNull())
        m_designedPos = pos();
    m_fullscreen = fullscreen;
    if (fullscreen)
        setWindowFlag(Qt::FramelessWindowHint); // before the native window is made: it would be made again
    create(); // the native window, so that it can be put on its monitor before it is shown
    windowHandle()->setScreen(target);
    if (fullscreen) {
        setGeometry(target->geometry());
        askCompositorBypass(winId());
        showFullScreen();
    } else {
        move(target->geometry().topLeft() + m_designedPos);
        show();
    }
}

void DesignedWindow::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    // The design keeps its size; covering a monitor, it stands in the middle.
    m_panel->move((width() - m_panel->width()) / 2, (height() - m_panel->height()) / 2);
}

void DesignedWindow::screenRemoved(QScreen *screen) {
    if (screen != shownOn() || !isVisible())
        return;
    showOn(QGuiApplication::primaryScreen(), m_fullscreen);
    emit movedToPrimary();
}

} // namespace kivora
