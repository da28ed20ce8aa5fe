#pragma once

#include <QString>

class QFont;
class QPainter;
class QPaintDevice;

namespace kivora {

class ChartControl;

// The font of the printout: 14 points in the device's default typeface. When that face cannot
// draw every character of the texts to print (a Latin default face and a Japanese summary),
// the window face ("ＭＳ Ｐゴシック", or its stand-in) is taken instead, so that no character
// comes out as an empty box.
QFont resultPageFont(const QPaintDevice *device, const QString &texts);

// Draws the results page (layout in ResultPageLayout.h) onto a painter open on a paged device.
// chartControlHeight is the chart control's height on the window in twips; the chart is
// drawn from the control itself, as vectors, at the control's own size in twips. subjectLine: the
// page's first line (subjectLine()).
void paintResultPage(QPainter &painter, ChartControl &chart, qreal chartControlHeight,
                     const QString &subjectLine, const QString &summary);

} // namespace kivora
