#pragma once

#include "base/DisplayFacts.h"

#include <QWidget>

class QScreen;

namespace kivora {

// A window designed at a fixed size whose controls lie on its panel() at their designed places.
// It is shown on a chosen monitor either as designed (its client area the panel's size) or
// covering the whole monitor: then without frame or title bar, the panel centred on a plain
// background of the window's colour, never scaled, so that a picture pixel stays a screen pixel.
// Covering the monitor, on X11 it also asks a compositor to leave it alone
// (_NET_WM_BYPASS_COMPOSITOR); whether the compositor does is measured, not assumed (compositorOf).
// A monitor that goes away takes the window to the primary one.
class DesignedWindow : public QWidget {
    Q_OBJECT
public:
    explicit DesignedWindow(QSize designed, QWidget *parent = nullptr);

    // The controls' parent, of the designed size.
    QWidget *panel() const { return m_panel; }

    // Shows the window on screen (the primary monitor where it is nullptr): covering it, or as
    // designed, at the designed position relative to the monitor's top left corner.
    void showOn(QScreen *screen, bool fullscreen);
    bool coversScreen() const { return m_fullscreen; }
    // The monitor the window is shown on (where it is not shown yet, where it will be).
    QScreen *shownOn() const;
    // That monitor's name and model, and whether the window covers it.
    ScreenFacts screenFacts() const;

signals:
    // The monitor the window was shown on went away, and the window is now on the primary one.
    void movedToPrimary();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void screenRemoved(QScreen *screen);

    QWidget *m_panel;
    QPoint m_designedPos;
    bool m_fullscreen = false;
};

} // namespace kivora
