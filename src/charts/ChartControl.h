#pragma once

#include "results/DataSheet.h"

#include <QChartView>
#include <QColor>
#include <QImage>

class QBarCategoryAxis;
class QValueAxis;

namespace kivora {

// The results chart: a line chart drawn from its data sheet, one line per sheet row (series in
// rows). Row 1 gives the category labels (columns 2 on), column 1 the line names (rows 2 on),
// and the other cells the values. The program only writes cells; the control redraws itself
// from the sheet after every write, or, while it is hidden, once it is shown again.
//
// Fixed look: title "キヴォラ反応時間" (13.75 pt bold) at the top, the legend under it (9 pt),
// axis titles and tick labels 12 pt, all text in the "ＭＳ Ｐゴシック" face; a white chart area
// with a thin black border; the plot area light grey (192, 192, 192) framed in grey
// (128, 128, 128); each line in its own automatic colour with its own marker; the value axis
// scaled to the data.
class ChartControl : public QChartView {
    Q_OBJECT
public:
    explicit ChartControl(QWidget *parent = nullptr);

    // The sheet the chart is drawn from; it starts in its design-time state (category 60 in
    // (1, 2), the line name "呈示 1200mS" in (2, 1), no values).
    DataSheet &Datasheet() { return m_sheet; }
    const DataSheet &Datasheet() const { return m_sheet; }

    // Error bars, addressed as the values: a number e in cell (r, c) draws a bar from v − e to
    // v + e through the value v of Datasheet() cell (r, c), in that line's colour. Empty unless
    // written (the results window writes none).
    DataSheet &ErrorSheet() { return m_errors; }

    // The whole chart area drawn as vectors into target (the painter's coordinates), at any
    // scale: used for the printout.
    void renderChartArea(QPainter *painter, const QRectF &target);
    // Puts a picture of the chart area, at the control's size on white, on the system
    // clipboard; what the clipboard held is lost.
    void copyChartArea();

    void setVisible(bool visible) override;

private:
    QImage chartAreaPicture();
    void sheetChanged();
    void redraw();

    void addErrorBar(int seriesIndex, double x, double value, double error);

    DataSheet m_sheet{DataSheet::Contents::DesignTime};
    DataSheet m_errors;
    bool m_stale = false; // written while hidden, not yet drawn
    QBarCategoryAxis *m_categoryAxis;
    QValueAxis *m_valueAxis;
};

} // namespace kivora
