// The results chart on its own: the lines, the legend and the axes it draws from its data sheet,
// read back from the Qt Charts objects, and its fixed look, from those and from its pixels. The
// sheet the results window writes into it is the data sheet's test (tst_ResultData::fillSheet);
// that the window's chart holds that sheet, and shows over the label beneath it, tst_frmResult's.
#include "base/Fonts.h"
#include "charts/ChartControl.h"
#include "results/ResultData.h"
#include "support/ChartData.h"
#include "support/PixelProbe.h"
#include "support/WindowGeometry.h"

#include <QApplication>
#include <QBarCategoryAxis>
#include <QLegend>
#include <QLegendMarker>
#include <QTest>
#include <QValueAxis>

#include <cmath>

using charts::fontText;
using charts::linesOf;
using charts::ThreeTimes;
using charts::TimeLines;

namespace {

// A chart at its size on the results window with the sheet the window writes for these lines,
// written while it is hidden, as the window writes it, and then shown.
struct ShownChart {
    explicit ShownChart(const TimeLines &lines) {
        control.resize(geometry::rectOf(geometry::ResultsWindow, "chResult").size());
        kivora::fillDataSheet(control.Datasheet(), charts::statsOf(lines));
        control.show();
    }
    kivora::ChartControl control;
};

} // namespace

class tst_ChartControl : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void chartSeries_data();
    void chartSeries();
    void chartLook();
    void chartDrawn();
};

void tst_ChartControl::initTestCase() {
    kivora::installFontSubstitutes();
}

// What the chart draws, read back from the Qt Charts objects: one line per sheet row, named
// by column 1, with a point per category; the value axis covers the data in round numbers.
void tst_ChartControl::chartSeries_data() {
    QTest::addColumn<TimeLines>("lines");
    QTest::addColumn<double>("axisMin");
    QTest::addColumn<double>("axisMax");
    QTest::newRow("TimeCount 0: the design-time line without points") << TimeLines{} << 0.0 << 1.0;
    QTest::newRow("TimeCount 1") << TimeLines{{400, {300.5, 0, 512.25, 410, 420, 430}}} << 0.0 << 600.0;
    QTest::newRow("TimeCount 3") << ThreeTimes << 0.0 << 1000.0;
    QTest::newRow("data high above zero")
        << TimeLines{{400, {900, 910, 920, 930, 940, 950}}} << 900.0 << 950.0;
    QTest::newRow("negative means") << TimeLines{{400, {-20, 10, 30, 40, 50, 60}}} << -20.0 << 60.0;
}

// Each line draws one row of the chart's sheet: named by its first cell, a point per category
// that has a value; the categories are the sheet's first row.
void tst_ChartControl::chartSeries() {
    QFETCH(TimeLines, lines);
    QFETCH(double, axisMin);
    QFETCH(double, axisMax);

    ShownChart c(lines);
    QVERIFY(QTest::qWaitForWindowExposed(&c.control));
    const kivora::DataSheet &sheet = c.control.Datasheet();
    QStringList names;
    QList<QList<QPointF>> points;
    for (int row = 2; sheet.cells(row, 1).isValid(); ++row) {
        names << sheet.cells(row, 1).toString();
        points << QList<QPointF>{};
        for (int column = 2; column <= 8; ++column)
            if (sheet.cells(row, column).isValid())
                points.last() << QPointF(column - 2, sheet.cells(row, column).toDouble());
    }
    QCOMPARE(names.size(), qMax<qsizetype>(1, lines.size()));
    const QList<QLineSeries *> series = linesOf(c.control);
    QCOMPARE(series.size(), names.size());
    QStringList seenNames;
    QList<QRgb> colors;
    QList<QImage> markers;
    for (int i = 0; i < series.size(); ++i) {
        QVERIFY(series[i]);
        seenNames << series[i]->name();
        QCOMPARE(series[i]->points(), points[i]);
        QVERIFY(series[i]->pointsVisible());
        QVERIFY(!series[i]->lightMarker().isNull());
        QVERIFY(!colors.contains(series[i]->color().rgb()));
        QVERIFY(!markers.contains(series[i]->lightMarker()));
        colors << series[i]->color().rgb();
        markers << series[i]->lightMarker();
    }
    QCOMPARE(seenNames, names);

    // Every line is in the legend, also one without points.
    const QList<QLegendMarker *> legend = c.control.chart()->legend()->markers();
    QStringList legendNames;
    for (QLegendMarker *m : legend) {
        QVERIFY(m->isVisible());
        legendNames << m->label();
    }
    QCOMPARE(legendNames, names);

    auto *categories = qobject_cast<QBarCategoryAxis *>(c.control.chart()->axes(Qt::Horizontal).value(0));
    QVERIFY(categories);
    QStringList sheetCategories;
    for (int column = 2; column <= 8; ++column)
        sheetCategories << sheet.cells(1, column).toString();
    QCOMPARE(categories->categories(), sheetCategories);

    auto *values = qobject_cast<QValueAxis *>(c.control.chart()->axes(Qt::Vertical).value(0));
    QVERIFY(values);
    QVERIFY2(values->min() <= axisMin && values->max() >= axisMax,
             qPrintable(u"axis %1..%2"_qs.arg(values->min()).arg(values->max())));
    // Round numbers: the ticks step by 1, 2 or 5 times a power of ten and the ends sit on ticks.
    const double step = (values->max() - values->min()) / (values->tickCount() - 1);
    const double decade = std::pow(10.0, std::floor(std::log10(step)));
    const double mantissa = step / decade;
    QVERIFY2(qFuzzyCompare(mantissa, 1.0) || qFuzzyCompare(mantissa, 2.0) || qFuzzyCompare(mantissa, 5.0) ||
                 qFuzzyCompare(mantissa, 2.5),
             qPrintable(u"step %1"_qs.arg(step)));
    QVERIFY(qFuzzyIsNull(std::remainder(values->min(), step) / step));
    // Not wider than it needs: the data fill more than half of it.
    QVERIFY2(axisMax - axisMin > 0.5 * (values->max() - values->min()) ||
                 (names.size() == 1 && points[0].isEmpty()),
             qPrintable(u"axis %1..%2"_qs.arg(values->min()).arg(values->max())));
}

// The fixed look, as designed: the title, the legend and the axes with their fonts, and the
// colours of the chart area and the plot area.
void tst_ChartControl::chartLook() {
    ShownChart c(ThreeTimes);
    QChart *chart = c.control.chart();
    QCOMPARE(chart->title(), u"キヴォラ反応時間"_qs);
    QCOMPARE(fontText(chart->titleFont()), fontText(kivora::uiFont(13.75, true)));
    QCOMPARE(chart->titleFont().family(), kivora::uiFaceName());

    QLegend *legend = chart->legend();
    QVERIFY(legend->isVisible());
    QCOMPARE(legend->alignment(), Qt::AlignTop);
    QCOMPARE(fontText(legend->font()), fontText(kivora::uiFont(9)));

    QAbstractAxis *x = chart->axes(Qt::Horizontal).value(0);
    QAbstractAxis *y = chart->axes(Qt::Vertical).value(0);
    QVERIFY(x && y);
    QCOMPARE(x->alignment(), Qt::AlignBottom);
    QCOMPARE(y->alignment(), Qt::AlignLeft);
    QCOMPARE(x->titleText(), u"文字の方向 (度，時計回り)"_qs);
    QCOMPARE(y->titleText(), u"平均反応時間 (ミリ秒)"_qs);
    for (QAbstractAxis *axis : {x, y}) {
        QCOMPARE(fontText(axis->titleFont()), fontText(kivora::uiFont(12)));
        QCOMPARE(fontText(axis->labelsFont()), fontText(kivora::uiFont(12)));
        QVERIFY(axis->isTitleVisible());
        QVERIFY(axis->labelsVisible());
    }

    QCOMPARE(chart->backgroundBrush().color(), QColor(Qt::white));
    QVERIFY(chart->isPlotAreaBackgroundVisible());
    QCOMPARE(chart->plotAreaBackgroundBrush().color(), QColor(192, 192, 192));
    QCOMPARE(chart->plotAreaBackgroundPen().color(), QColor(128, 128, 128));

    // Top to bottom: title, legend, plot area.
    QVERIFY(QTest::qWaitForWindowExposed(&c.control));
    QVERIFY(legend->geometry().bottom() <= chart->plotArea().top());
    QVERIFY(legend->geometry().top() > chart->geometry().top() + 10); // the title is above it
}

// The chart as drawn, measured from its pixels: its plot area's colour fills most of the plot
// area, and every line shows in its own colour.
void tst_ChartControl::chartDrawn() {
    ShownChart c(ThreeTimes);
    QVERIFY(QTest::qWaitForWindowExposed(&c.control));
    const QImage shot = probe::screenshot(c.control);
    QChart *chart = c.control.chart();
    const QRect plot = chart->mapRectToScene(chart->plotArea()).toAlignedRect();
    QVERIFY(shot.rect().contains(plot));
    const QRgb plotColor = chart->plotAreaBackgroundBrush().color().rgb();
    const int filled = probe::count(shot, plot, [plotColor](QRgb p) { return p == plotColor; });
    QVERIFY2(filled > plot.width() * plot.height() / 2,
             qPrintable(u"%1 of %2 pixels"_qs.arg(filled).arg(plot.width() * plot.height())));
    const QList<QLineSeries *> series = linesOf(c.control);
    QCOMPARE(series.size(), ThreeTimes.size());
    for (const QLineSeries *line : series) {
        const int drawn = probe::colorCount(shot, line->color().rgb());
        QVERIFY2(drawn > 100, qPrintable(u"%1: %2 pixels"_qs.arg(line->name()).arg(drawn)));
    }
}

QTEST_MAIN(tst_ChartControl)
#include "tst_chartcontrol.moc"
