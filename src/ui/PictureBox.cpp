#include "ui/PictureBox.h"

#include <QExposeEvent>
#include <QPainter>
#include <QPixmap>
#include <QWindow>
#include <qdrawutil.h>

#include <cmath>

namespace kivora {

PictureBox::PictureBox(QWidget *parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
}

void PictureBox::setPicture(const QImage *image) {
    if (image == m_image)
        return;
    m_image = image;
    if (!m_surface)
        update();
}

namespace {
class SurfaceWindow final : public QWindow {
public:
    explicit SurfaceWindow(std::function<void()> onExposed) : m_onExposed(std::move(onExposed)) {
        setFlags(Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus);
    }

protected:
    void exposeEvent(QExposeEvent *) override {
        if (isExposed())
            m_onExposed();
    }

private:
    std::function<void()> m_onExposed;
};
} // namespace

QWindow *PictureBox::makeSurface(std::function<void()> onExposed) {
    auto *window = new SurfaceWindow(std::move(onExposed));
    m_surface = QWidget::createWindowContainer(window, this);
    m_surface->setObjectName(objectName() + u"Surface"_qs);
    // Only the picture area becomes a native window; the windows around it stay as they are.
    m_surface->setAttribute(Qt::WA_DontCreateNativeAncestors);
    m_surface->setFocusPolicy(Qt::NoFocus);
    m_surface->setGeometry(rect().adjusted(BorderPx, BorderPx, -BorderPx, -BorderPx));
    m_prepared.clear();
    update();
    return window;
}

void PictureBox::removeSurface() {
    delete std::exchange(m_surface, nullptr);
    update();
}

void PictureBox::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    qDrawWinPanel(&p, rect(), palette(), /*sunken=*/true);
    if (m_surface || !m_image || m_image->isNull())
        return;

    const qreal dpr = devicePixelRatioF();
    // Work in device pixels so that every picture pixel lands on exactly one screen pixel.
    p.save();
    p.scale(1 / dpr, 1 / dpr);
    const QRect inner = rect().adjusted(BorderPx, BorderPx, -BorderPx, -BorderPx);
    const int innerLeft = int(std::lround(inner.left() * dpr));
    const int innerTop = int(std::lround(inner.top() * dpr));
    const int innerW = int(std::lround(inner.width() * dpr));
    const int innerH = int(std::lround(inner.height() * dpr));
    const int x = innerLeft + (innerW - m_image->width()) / 2;
    const int y = innerTop + (innerH - m_image->height()) / 2;

    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawPixmap(x, y, pixmapFor(*m_image));
    p.restore();
}

void PictureBox::prepare(std::initializer_list<const QImage *> images) {
    // Keep only the picture on screen and the ones asked for: all 56 pictures at 32 bits would
    // hold 15 MB for nothing.
    QHash<qint64, QPixmap> keep;
    for (const QImage *image : images)
        if (image && m_prepared.contains(image->cacheKey()))
            keep.insert(image->cacheKey(), m_prepared.value(image->cacheKey()));
    if (m_image && m_prepared.contains(m_image->cacheKey()))
        keep.insert(m_image->cacheKey(), m_prepared.value(m_image->cacheKey()));
    m_prepared.swap(keep);
    for (const QImage *image : images)
        if (image && !image->isNull())
            pixmapFor(*image);
}

const QPixmap &PictureBox::pixmapFor(const QImage &image) {
    auto it = m_prepared.find(image.cacheKey());
    if (it != m_prepared.end())
        return *it;
    // Exact black and white in the screen's own format: drawing is then a copy, not a conversion.
    return *m_prepared.insert(image.cacheKey(),
                              QPixmap::fromImage(image.convertToFormat(QImage::Format_RGB32)));
}

} // namespace kivora
