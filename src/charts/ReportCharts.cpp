#include "charts/ReportCharts.h"

#include "results/ResultData.h"

#include <QAbstractAxis>
#include <QChart>
#include <QCoreApplication>
#include <cmath>

namespace kivora {

namespace {

QString categoryTitle() {
    return QCoreApplication::translate("ReportPdf", "角度差 (度)");
}
QString valueTitle() {
    return QCoreApplication::translate("ReportPdf", "正答の平均反応時間 (ミリ秒)");
}

} // namespace

QString fixedOrDash(double value, int decimals) {
    return std::isnan(value) ? u"—"_qs : QString::number(value, 'f', decimals);
}

QString accuracyOrDash(const RunSummary &run, QStringView unit) {
    return run.trials > 0 ? QString::number(100.0 * run.correct / run.trials, 'f', 1).append(unit) : u"—"_qs;
}

// The disparities as categories and the report's axis titles; the sheet starts empty (a new
// chart's error sheet is empty already).
void prepareReportChart(ChartControl &chart, const QSize &size, const QString &title) {
    chart.resize(size);
    chart.Datasheet().clear();
    chart.chart()->setTitle(title);
    for (QAbstractAxis *axis : chart.chart()->axes(Qt::Horizontal))
        axis->setTitleText(categoryTitle());
    for (QAbstractAxis *axis : chart.chart()->axes(Qt::Vertical))
        axis->setTitleText(valueTitle());
    for (int d = 0; d < int(Disparities.size()); ++d)
        chart.Datasheet().cells(1, d + 2) = double(Disparities[std::size_t(d)]);
}

void addReportLine(ChartControl &chart, int row, qint16 presentTime, const std::array<double, 4> &means,
                   const std::array<double, 4> &errors) {
    chart.Datasheet().cells(row, 1) = seriesName(presentTime);
    for (int d = 0; d < int(Disparities.size()); ++d) {
        const double mean = means[std::size_t(d)];
        if (std::isnan(mean))
            continue;
        chart.Datasheet().cells(row, d + 2) = mean;
        if (const double error = errors[std::size_t(d)]; !std::isnan(error))
            chart.ErrorSheet().cells(row, d + 2) = error;
    }
}

void drawGroupChart(ChartControl &chart, const Report &report) {
    prepareReportChart(
        chart, GroupChartSize,
        QCoreApplication::translate("ReportPdf", "キヴォラ反応時間 (完了した実行 %1 の平均 ± SE)")
            .arg(report.completeRuns()));
    int row = 2;
    for (const GroupLine &line : report.group) {
        std::array<double, 4> means;
        std::array<double, 4> errors;
        for (std::size_t d = 0; d < Disparities.size(); ++d) {
            means[d] = line.meanRt[d].mean;
            errors[d] = line.meanRt[d].se;
        }
        addReportLine(chart, row, line.presentTime, means, errors);
        ++row;
    }
}

} // namespace kivora
