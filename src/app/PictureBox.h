#pragma once

#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <initializer_list>

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

    // Hands the picture area over to surface, a native window that shows the pictures itself
    // (in step with the display's refresh): the control then keeps only its border and the
    // picture it is said to show; nullptr gives the picture area back to the control.
    void setSurface(QWidget *surface);

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
