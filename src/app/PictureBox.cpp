#include "app/PictureBox.h"

#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <qdrawutil.h>

#include <cmath>

PictureBox::PictureBox(QWidget *parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
}

void PictureBox::setPicture(const QImage *image) {
    if (image == m_image)
        return;
    m_image = image;
    update();
}

void PictureBox::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    qDrawWinPanel(&p, rect(), palette(), /*sunken=*/true);
    if (!m_image || m_image->isNull())
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

    const QString key = u"kivora-pic-%1"_qs.arg(m_image->cacheKey());
    QPixmap pm;
    if (!QPixmapCache::find(key, &pm)) {
        pm = QPixmap::fromImage(*m_image, Qt::ThresholdDither | Qt::MonoOnly);
        QPixmapCache::insert(key, pm);
    }
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawPixmap(x, y, pm);
    p.restore();
}
