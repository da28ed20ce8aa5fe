#include "charts/ResultPagePainter.h"

#include "base/Fonts.h"
#include "base/Twips.h"
#include "charts/ChartControl.h"
#include "results/ResultPageLayout.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QRawFont>

namespace kivora {

namespace {

constexpr qreal PagePointSize = 14;
constexpr qreal TwipsPerInch = 1440;

// Whether the face the font resolves to has every character of the texts itself. Qt would draw
// a missing character from some other face, so a Latin default face would print the Japanese
// in whatever face the system falls back to, mixed with its own Latin letters.
bool drawsAll(const QFont &font, const QString &texts) {
    const QRawFont face = QRawFont::fromFont(font);
    if (!face.isValid())
        return false;
    for (const char32_t ucs4 : texts.toUcs4()) {
        if (ucs4 == U'\r' || ucs4 == U'\n')
            continue;
        if (!face.supportsCharacter(ucs4))
            return false;
    }
    return true;
}

} // namespace

QFont resultPageFont(const QPaintDevice *device, const QString &texts) {
    QFont font(QFont(), device); // the device's default font
    font.setPointSizeF(PagePointSize);
    if (drawsAll(font, texts))
        return font;
    return QFont(uiFont(PagePointSize), device);
}

void paintResultPage(QPainter &painter, ChartControl &chart, qreal chartControlHeight,
                     const QString &subjectLine, const QString &summary) {
    const QPaintDevice *device = painter.device();
    const qreal pxPerTwipX = device->logicalDpiX() / TwipsPerInch;
    const qreal pxPerTwipY = device->logicalDpiY() / TwipsPerInch;

    const QFont font = resultPageFont(device, subjectLine + summary);
    const QFontMetricsF metrics(font, device);
    const qreal lineHeight = metrics.lineSpacing() / pxPerTwipY; // twips

    const QSizeF chartSize(chart.width() * TwipsPerPixel, chart.height() * TwipsPerPixel);
    const ResultPageLayout page =
        layoutResultPage(lineHeight, chartControlHeight, chartSize, subjectLine, summary);

    auto toDevice = [&](qreal x, qreal y) {
        return QPointF((page.origin.x() + x) * pxPerTwipX, (page.origin.y() + y) * pxPerTwipY);
    };

    painter.save();
    painter.setFont(font);
    painter.setPen(Qt::black);
    for (const ResultPageLayout::Line &line : page.lines) {
        if (!line.text.isEmpty())
            painter.drawText(toDevice(0, line.y) + QPointF(0, metrics.ascent()), line.text);
    }
    painter.restore();

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF target(toDevice(page.chart.left(), page.chart.top()),
                        toDevice(page.chart.right(), page.chart.bottom()));
    chart.renderChartArea(&painter, target);
    painter.restore();
}

} // namespace kivora
