#pragma once

#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <functional>
#include <initializer_list>

class QWindow;

namespace kivora {

// The picture control of the main window: a fixed single (sunken, 2 px) border around one
// picture shown at its own size, never stretched. The picture is drawn one picture pixel to
// one device pixel, also on a scaled screen, where smoothing would blur a 1-bit stimulus; it is
// then centred in the control at a whole device pixel.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget *parent = nullptr);

    // Shows image (or nothing for a null image). The image must outlive its showing: the main
    // window's pictures live as long as the window.
    void setPicture(const QImage *image);
    const QImage *picture() const { return m_image; }

    // Converts the pictures about to be shown into the screen's pixel format now, so that
    // showing them later is a plain copy, and forgets earlier ones. The trial cycle prepares a
    // trial's three pictures during its countdown, off the timed path; painting a 1-bit picture
    // directly costs ~0.3 ms.
    void prepare(std::initializer_list<const QImage *> images);

    // Hands the picture area over to a native child window that the control never paints (a
    // presenter in step with the display shows the pictures in it), and returns it; onExposed
    // runs each time it is exposed. It takes no input: clicks and keys go to the main window as
    // before. The control then keeps only its border and the picture it is said to show.
    QWindow *makeSurface(std::function<void()> onExposed);
    // Gives the picture area back to the control (a presenter that could not be made).
    void removeSurface();

    static constexpr int BorderPx = 2;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const QPixmap &pixmapFor(const QImage &image);
    const QImage *m_image = nullptr;
    QHash<qint64, QPixmap> m_prepared;
    QWidget *m_surface = nullptr;
};

} // namespace kivora
