#pragma once

#include "charts/ChartControl.h"
#include "results/Report.h"

#include <QSize>
#include <array>

namespace kivora {

// The charts of a class's report, in the results chart's look: the angular disparities as
// categories, the report's axis titles, a line per presentation time. report.pdf draws them, and
// the class view shows the group's chart as the PDF's first page has it.

// The group chart's size in the control's pixels; drawn larger or smaller, it keeps these
// proportions.
inline constexpr QSize GroupChartSize(640, 420);

// A figure of the report's tables: fixed-point with `decimals` digits, a dash where it is undefined
// (NaN).
QString fixedOrDash(double value, int decimals);
// A run's share of correct answers in percent with one decimal and then unit; a dash for a run
// without trials.
QString accuracyOrDash(const RunSummary &run, QStringView unit);

// A new results chart made a report chart of size with title: its sheet starts empty.
void prepareReportChart(ChartControl &chart, const QSize &size, const QString &title);

// The line of one presentation time in row of a report chart's sheets: its label, its mean at
// each disparity that has one and, where there is also an error, that error bar.
void addReportLine(ChartControl &chart, int row, qint16 presentTime, const std::array<double, 4> &means,
                   const std::array<double, 4> &errors = {NaN, NaN, NaN, NaN});

// The group's chart, made of a new results chart: the mean correct RT ± SE of the report's
// complete runs against disparity.
void drawGroupChart(ChartControl &chart, const Report &report);

} // namespace kivora
