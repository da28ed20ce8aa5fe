#pragma once

#include <QImage>
#include <QWidget>

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

    static constexpr int BorderPx = 2;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const QImage *m_image = nullptr;
};
