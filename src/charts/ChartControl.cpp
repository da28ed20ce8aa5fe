#include "charts/ChartControl.h"

#include "base/Fonts.h"

#include <QBarCategoryAxis>
#include <QClipboard>
#include <QCoreApplication>
#include <QGraphicsLayout>
#include <QGuiApplication>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QPainterPath>
#include <QValueAxis>

#include <algorithm>
#include <array>
#include <cmath>

namespace kivora {

namespace {

const QColor Black(0, 0, 0);

// A sheet cell as a label: numbers in their shortest general form (60, 0.5, -7), texts as
// they are, empty cells empty.
QString labelOf(const QVariant &cell) {
    if (cell.typeId() == QMetaType::Double)
        return QString::number(cell.toDouble(), 'g', 15);
    return cell.toString();
}

enum class Marker { Diamond, Square, Triangle, Cross, Star, Circle, Plus, Bar };

// Markers are drawn large and scaled down to the marker size, so they stay sharp when the
// chart is printed at 1200 dpi.
constexpr int MarkerImageSize = 64;

QImage markerImage(Marker shape, const QColor &color) {
    QImage image(MarkerImageSize, MarkerImageSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal m = 6; // margin, so the outline stays inside
    const qreal s = MarkerImageSize;
    const QPointF c(s / 2, s / 2);
    QPen pen(color, 8);
    pen.setJoinStyle(Qt::MiterJoin);
    p.setPen(pen);
    p.setBrush(color);
    switch (shape) {
    case Marker::Diamond:
        p.drawPolygon(QPolygonF{{c.x(), m}, {s - m, c.y()}, {c.x(), s - m}, {m, c.y()}});
        break;
    case Marker::Square:
        p.drawRect(QRectF(m + 6, m + 6, s - 2 * m - 12, s - 2 * m - 12));
        break;
    case Marker::Triangle:
        p.drawPolygon(QPolygonF{{c.x(), m}, {s - m, s - m - 4}, {m, s - m - 4}});
        break;
    case Marker::Cross:
        p.drawLine(QPointF(m, m), QPointF(s - m, s - m));
        p.drawLine(QPointF(s - m, m), QPointF(m, s - m));
        break;
    case Marker::Star:
        p.drawLine(QPointF(m, m), QPointF(s - m, s - m));
        p.drawLine(QPointF(s - m, m), QPointF(m, s - m));
        p.drawLine(QPointF(c.x(), m), QPointF(c.x(), s - m));
        break;
    case Marker::Circle:
        p.drawEllipse(c, s / 2 - m - 4, s / 2 - m - 4);
        break;
    case Marker::Plus:
        p.drawLine(QPointF(c.x(), m), QPointF(c.x(), s - m));
        p.drawLine(QPointF(m, c.y()), QPointF(s - m, c.y()));
        break;
    case Marker::Bar:
        p.drawRect(QRectF(m, c.y() - 6, s - 2 * m, 12));
        break;
    }
    return image;
}

// The value axis from 0 unless the data sit high above it (all values within the top sixth of
// the largest), as office charts scale it, then widened to round numbers.
void scaleValueAxis(QValueAxis *axis, const QList<double> &values) {
    if (values.isEmpty()) {
        axis->setRange(0, 1);
        axis->applyNiceNumbers();
        return;
    }
    double lo = *std::min_element(values.begin(), values.end());
    double hi = *std::max_element(values.begin(), values.end());
    if (lo >= 0 && !(hi > 0 && lo > hi * 5.0 / 6.0))
        lo = 0;
    if (hi <= 0 && !(lo < 0 && hi < lo * 5.0 / 6.0))
        hi = 0;
    if (hi - lo <= 0) { // one value, or all zero
        lo = std::min(lo, 0.0);
        hi = lo + (hi == 0 ? 1.0 : std::abs(hi));
    }
    // A little room at the ends that are not zero, so a marker on the extreme value is drawn
    // whole rather than cut by the plot area's edge.
    const double span = hi - lo;
    if (hi != 0)
        hi += span / 20;
    if (lo != 0)
        lo -= span / 20;
    axis->setRange(lo, hi);
    axis->applyNiceNumbers();
}

// Automatic colour and marker of the line in series position i (0-based), repeating after eight
// lines.
QColor seriesColor(int i) {
    // Navy, magenta, yellow, cyan, purple, dark red, teal, blue: eight full colours that stand
    // out on the grey plot area, taken in this order for lines 1..8.
    static const std::array<QColor, 8> colors{QColor(0, 0, 128),   QColor(255, 0, 255), QColor(255, 255, 0),
                                              QColor(0, 255, 255), QColor(128, 0, 128), QColor(128, 0, 0),
                                              QColor(0, 128, 128), QColor(0, 0, 255)};
    return colors[std::size_t(i % 8)];
}

QImage seriesMarker(int i) {
    static const std::array<Marker, 8> shapes{Marker::Diamond, Marker::Square, Marker::Triangle,
                                              Marker::Cross,   Marker::Star,   Marker::Circle,
                                              Marker::Plus,    Marker::Bar};
    return markerImage(shapes[std::size_t(i % 8)], seriesColor(i));
}

} // namespace

ChartControl::ChartControl(QWidget *parent) : QChartView(parent) {
    setRenderHint(QPainter::Antialiasing);
    setFrameShape(QFrame::NoFrame);
    setBackgroundBrush(Qt::white);

    QChart *c = chart();
    c->setTheme(QChart::ChartThemeLight);
    c->setAnimationOptions(QChart::NoAnimation);
    c->setBackgroundRoundness(0);
    c->setDropShadowEnabled(false);
    c->setBackgroundBrush(Qt::white);
    c->setBackgroundPen(QPen(Black, 1));
    c->setMargins(QMargins(4, 4, 8, 4));
    c->layout()->setContentsMargins(0, 0, 0, 0);
    c->setPlotAreaBackgroundVisible(true);
    c->setPlotAreaBackgroundBrush(QColor(192, 192, 192));
    c->setPlotAreaBackgroundPen(QPen(QColor(128, 128, 128), 1));

    c->setTitle(QCoreApplication::translate("ChartControl", "キヴォラ反応時間"));
    c->setTitleFont(uiFont(13.75, true));
    c->setTitleBrush(Black);

    QLegend *legend = c->legend();
    legend->setAlignment(Qt::AlignTop);
    legend->setFont(uiFont(9));
    legend->setLabelColor(Black);
    legend->setMarkerShape(QLegend::MarkerShapeFromSeries);

    m_categoryAxis = new QBarCategoryAxis(this);
    m_categoryAxis->setTitleText(QCoreApplication::translate("ChartControl", "文字の方向 (度，時計回り)"));
    m_valueAxis = new QValueAxis(this);
    m_valueAxis->setTitleText(QCoreApplication::translate(
        "ChartControl", "平均反応時間 (ミリ秒)")); // drawn along the axis, turned 90 degrees
    m_valueAxis->setLabelFormat(u"%g"_qs);
    for (QAbstractAxis *axis :
         {static_cast<QAbstractAxis *>(m_categoryAxis), static_cast<QAbstractAxis *>(m_valueAxis)}) {
        axis->setTitleFont(uiFont(12));
        axis->setTitleBrush(Black);
        axis->setLabelsFont(uiFont(12));
        axis->setLabelsColor(Black);
        axis->setLinePen(QPen(Black, 1));
        axis->setGridLinePen(QPen(Black, 1));
        axis->setShadesVisible(false);
    }
    m_categoryAxis->setGridLineVisible(false);
    m_valueAxis->setMinorGridLineVisible(false);
    c->addAxis(m_categoryAxis, Qt::AlignBottom);
    c->addAxis(m_valueAxis, Qt::AlignLeft);

    m_sheet.setChangeListener([this](int, int) { sheetChanged(); });
    m_errors.setChangeListener([this](int, int) { sheetChanged(); });
    redraw();
}

void ChartControl::sheetChanged() {
    if (isHidden())
        m_stale = true;
    else
        redraw();
}

void ChartControl::setVisible(bool visible) {
    if (visible && m_stale)
        redraw();
    QChartView::setVisible(visible);
}

// Rebuilds the lines and the axes from the whole sheet.
void ChartControl::redraw() {
    m_stale = false;
    QChart *c = chart();
    c->removeAllSeries();

    const int lastRow = m_sheet.lastRow();
    const int lastColumn = m_sheet.lastColumn();

    // The category axis needs distinct labels; an empty or repeated one gets invisible
    // zero-width spaces so that every column keeps its place.
    QStringList categories;
    for (int col = 2; col <= lastColumn; ++col) {
        QString label = labelOf(m_sheet.cells(1, col));
        while (categories.contains(label))
            label += QChar(u'\u200B');
        categories << label;
    }
    m_categoryAxis->clear();
    m_categoryAxis->append(categories);

    QList<double> values;
    int index = 0;
    for (int row = 2; row <= lastRow; ++row) {
        bool used = false;
        QList<QPointF> points;
        for (int col = 1; col <= lastColumn; ++col) {
            const QVariant cell = m_sheet.cells(row, col);
            used = used || cell.isValid();
            // Only numbers are values: a text among them, or an empty cell, leaves no point.
            if (col >= 2 && cell.typeId() == QMetaType::Double) {
                points << QPointF(col - 2, cell.toDouble());
                values << cell.toDouble();
            }
        }
        if (!used)
            continue;

        auto *series = new QLineSeries;
        series->setName(labelOf(m_sheet.cells(row, 1)));
        series->append(points);
        c->addSeries(series);
        series->attachAxis(m_categoryAxis);
        series->attachAxis(m_valueAxis);
        series->setPen(QPen(seriesColor(index), 2));
        series->setMarkerSize(9);
        series->setLightMarker(seriesMarker(index));
        series->setPointsVisible(true);
        for (const QPointF &p : points) {
            const QVariant error = m_errors.cells(row, int(p.x()) + 2);
            if (error.typeId() == QMetaType::Double && std::isfinite(error.toDouble())) {
                addErrorBar(index, p.x(), p.y(), error.toDouble());
                values << p.y() - error.toDouble() << p.y() + error.toDouble();
            }
        }
        ++index;
    }
    scaleValueAxis(m_valueAxis, values);
}

// One error bar as one line series, an I: the cap at v + e, down the middle to the cap at
// v − e. It takes its line's colour and stays out of the legend.
void ChartControl::addErrorBar(int seriesIndex, double x, double value, double error) {
    constexpr double Cap = 0.06; // half the cap's width, in categories
    const double hi = value + std::abs(error);
    const double lo = value - std::abs(error);
    auto *bar = new QLineSeries;
    bar->append({{x - Cap, hi}, {x + Cap, hi}, {x, hi}, {x, lo}, {x - Cap, lo}, {x + Cap, lo}});
    QChart *c = chart();
    c->addSeries(bar);
    bar->attachAxis(m_categoryAxis);
    bar->attachAxis(m_valueAxis);
    bar->setPen(QPen(seriesColor(seriesIndex), 1.5));
    for (QLegendMarker *marker : c->legend()->markers(bar))
        marker->setVisible(false);
}

void ChartControl::renderChartArea(QPainter *painter, const QRectF &target) {
    if (m_stale)
        redraw();
    // A control that has never been shown has not laid its chart out yet.
    if (chart()->size() != QSizeF(size())) {
        chart()->resize(size());
        scene()->setSceneRect(QRectF(QPointF(0, 0), QSizeF(size())));
    }
    chart()->layout()->activate();
    // Target and source have the same proportions (the control's size in twips and in pixels on
    // a device with one resolution for both directions), so nothing is letterboxed.
    scene()->render(painter, target, QRectF(QPointF(0, 0), QSizeF(size())));
}

QImage ChartControl::chartAreaPicture() {
    QImage picture(size(), QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    renderChartArea(&painter, QRectF(picture.rect()));
    return picture;
}

void ChartControl::copyChartArea() {
    QGuiApplication::clipboard()->setImage(chartAreaPicture());
}

} // namespace kivora
