#include "charts/ReportPdf.h"

#include "base/Fonts.h"
#include "charts/ChartControl.h"
#include "charts/ReportCharts.h"
#include "results/ResultData.h"

#include <QAbstractAxis>
#include <QChart>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <array>
#include <cmath>

namespace kivora {

namespace {

constexpr int Dpi = 300;
constexpr qreal MarginMm = 15;
constexpr qreal MmPerInch = 25.4;
constexpr int ChartsPerRow = 2;
constexpr int ChartRowsPerPage = 3;

QString pValue(double p) {
    if (std::isnan(p))
        return u"—"_qs;
    return p < 0.001 ? u"< 0.001"_qs : QString::number(p, 'f', 3);
}

// Writes text and charts down A4 pages: a cursor that moves on to a new page when what comes
// next does not fit.
class PageFlow {
public:
    // The painter's origin is the top left corner inside the page's margins.
    PageFlow(QPdfWriter &writer, QPainter &painter)
        : m_writer(writer), m_painter(painter), m_body(0, 0, writer.width(), writer.height()),
          m_y(m_body.top()) {}

    qreal mm(qreal v) const { return v * Dpi / MmPerInch; }
    QRectF body() const { return m_body; }
    qreal y() const { return m_y; }
    void skip(qreal height) { m_y += height; }
    qreal left() const { return m_body.bottom() - m_y; }

    void newPage() {
        m_writer.newPage();
        m_y = m_body.top();
    }
    void ensure(qreal height) {
        if (height > left() && m_y > m_body.top())
            newPage();
    }

    // A paragraph, wrapped to the body's width (less indent).
    void text(const QString &s, const QFont &font, qreal indentMm = 0) {
        m_painter.setFont(font);
        const QRectF area(m_body.left() + mm(indentMm), 0, m_body.width() - mm(indentMm), 1e9);
        const QRectF needed = m_painter.boundingRect(area, Qt::TextWordWrap, s);
        ensure(needed.height());
        m_painter.drawText(QRectF(area.left(), m_y, area.width(), needed.height()), Qt::TextWordWrap, s);
        m_y += needed.height();
    }

    // One table row: each text left-aligned at its column's left edge (mm from the body's left).
    void tableRow(const QStringList &cells, const QList<qreal> &columnsMm, const QFont &font,
                  bool ruleBelow) {
        m_painter.setFont(font);
        const QFontMetricsF metrics(font, &m_writer);
        ensure(metrics.lineSpacing() * 1.3);
        for (int i = 0; i < cells.size() && i < columnsMm.size(); ++i)
            m_painter.drawText(QPointF(m_body.left() + mm(columnsMm[i]), m_y + metrics.ascent()), cells[i]);
        m_y += metrics.lineSpacing() * 1.3;
        if (ruleBelow) {
            m_painter.save();
            m_painter.setPen(QPen(Qt::black, mm(0.2)));
            m_painter.drawLine(QPointF(m_body.left(), m_y - metrics.lineSpacing() * 0.2),
                               QPointF(m_body.right(), m_y - metrics.lineSpacing() * 0.2));
            m_painter.restore();
        }
    }

    void chart(ChartControl &chart, const QRectF &target) {
        m_painter.save();
        m_painter.setRenderHint(QPainter::Antialiasing);
        chart.renderChartArea(&m_painter, target);
        m_painter.restore();
    }

private:
    QPdfWriter &m_writer;
    QPainter &m_painter;
    QRectF m_body;
    qreal m_y;
};

void groupChart(PageFlow &flow, const Report &report) {
    ChartControl chart;
    drawGroupChart(chart, report);
    const QSize size = GroupChartSize;
    const qreal width = flow.body().width();
    const qreal height = width * size.height() / size.width();
    flow.ensure(height);
    flow.chart(chart, QRectF(flow.body().left(), flow.y(), width, height));
    flow.skip(height + flow.mm(4));
}

void slopeTable(PageFlow &flow, const Report &report) {
    const QFont bold = uiFont(10, true);
    const QFont plain = uiFont(10);
    flow.text(
        QCoreApplication::translate(
            "ReportPdf",
            "傾き: 実行ごとに、角度差ごとの正答の平均反応時間に最小二乗法で当てはめた直線の傾き (ミリ秒/度)。"
            "完了した実行の平均と、0 との比較 (1 標本 t 検定、両側)。"),
        uiFont(9));
    flow.skip(flow.mm(1));
    const QList<qreal> columns{0, 28, 40, 64, 84, 120, 140, 154};
    flow.tableRow({QCoreApplication::translate("ReportPdf", "呈示時間"), u"n"_qs,
                   QCoreApplication::translate("ReportPdf", "傾きの平均"), u"SE"_qs,
                   QCoreApplication::translate("ReportPdf", "95% 信頼区間"), u"t"_qs, u"df"_qs, u"p"_qs},
                  columns, bold, true);
    for (const GroupLine &line : report.group) {
        const GroupSummary &s = line.slope;
        const QString ci = std::isnan(s.ciLow) ? u"—"_qs
                                               : QCoreApplication::translate("ReportPdf", "%1 〜 %2")
                                                     .arg(fixedOrDash(s.ciLow, 2), fixedOrDash(s.ciHigh, 2));
        flow.tableRow({seriesName(line.presentTime), QString::number(s.n), fixedOrDash(s.mean, 2),
                       fixedOrDash(s.se, 2), ci, fixedOrDash(s.t, 2),
                       s.n >= 2 ? QString::number(s.df) : u"—"_qs, pValue(s.p)},
                      columns, plain, false);
    }
    if (report.group.empty())
        flow.text(
            QCoreApplication::translate("ReportPdf", "完了した実行がないため、傾きの集計はありません。"),
            plain);
    flow.skip(flow.mm(4));
}

void exclusionRules(PageFlow &flow, const Report &report) {
    const Report::Exclusions e = report.exclusions();
    const QFont plain = uiFont(10);
    flow.text(QCoreApplication::translate("ReportPdf", "除外の規則と件数"), uiFont(11, true));
    flow.text(
        QCoreApplication::translate(
            "ReportPdf", "・誤答の試行は反応時間の集計に入れない: %1 試行 (完了した実行の %2 試行のうち)")
            .arg(e.errors)
            .arg(e.trials),
        plain, 2);
    flow.text(
        QCoreApplication::translate("ReportPdf", "・反応時間が %1 ミリ秒未満の正答 (見越し反応): %2 試行")
            .arg(report.limits.minRt)
            .arg(e.tooFast),
        plain, 2);
    flow.text(
        QCoreApplication::translate("ReportPdf", "・反応時間が %1 ミリ秒を超える正答 (注意の途切れ): %2 試行")
            .arg(report.limits.maxRt)
            .arg(e.tooSlow),
        plain, 2);
    flow.text(QCoreApplication::translate("ReportPdf",
                                          "・未完了の実行はグループの集計と図に入れない: %1 実行 (%2 試行)")
                  .arg(e.incompleteRuns)
                  .arg(e.incompleteTrials),
              plain, 2);
    flow.text(QCoreApplication::translate(
                  "ReportPdf",
                  "方向 = ((StartDir + CueDir) mod 6) × 60 度 (時計回り)、角度差 = min(方向, 360 − 方向)。"
                  "正像と鏡映像の試行は合わせて平均する。"),
              uiFont(9), 2);
    flow.skip(flow.mm(4));
}

void leftOut(PageFlow &flow, const Report &report) {
    const QFont small = uiFont(8);
    if (!report.skipped.empty()) {
        flow.text(QCoreApplication::translate("ReportPdf", "読み込まなかったファイル (%1)")
                      .arg(report.skipped.size()),
                  uiFont(11, true));
        for (const SkippedFile &s : report.skipped)
            flow.text(s.detail(s.fileName), small, 2);
        flow.skip(flow.mm(2));
    }
    if (report.meansFiles > 0)
        flow.text(
            QCoreApplication::translate(
                "ReportPdf", "_means.csv ファイル %1 件は、実行が最後まで答えられた印として使いました。")
                .arg(report.meansFiles),
            uiFont(9));
    // The lab decides what to do with them: their trials are in every table all the same.
    QStringList timing;
    for (const ReportRun &r : report.runs) {
        QStringList why;
        if (r.file.onsetsExact == false)
            why << QCoreApplication::translate("ReportPdf", "表示時刻が正確でない試行あり");
        if (r.file.lateFlips.value_or(0) > 0)
            why << QCoreApplication::translate("ReportPdf", "表示の遅れ %1 回").arg(*r.file.lateFlips);
        if (!why.isEmpty())
            timing << u"%1 (%2) %3"_qs.arg(
                r.file.subject, why.join(QCoreApplication::translate("ReportPdf", "、")), r.file.fileName);
    }
    if (!timing.isEmpty()) {
        flow.skip(flow.mm(2));
        flow.text(QCoreApplication::translate("ReportPdf", "表示時刻に注意する実行 (%1、集計には含む)")
                      .arg(timing.size()),
                  uiFont(11, true));
        flow.text(QCoreApplication::translate(
                      "ReportPdf",
                      "表示時刻が正確でない: コンポジタが画面を合成していた、Wayland のセッション、Windows "
                      "の推定値など (runs.csv の onsets_exact が 0)。表示の遅れ: 予定のリフレッシュより後に"
                      "出た画面の数 (late_flips)。"),
                  uiFont(9), 2);
        for (const QString &line : timing)
            flow.text(line, small, 2);
    }
    QStringList incomplete;
    for (const ReportRun &r : report.runs)
        if (!r.file.complete)
            incomplete << QCoreApplication::translate("ReportPdf", "%1 (%2 試行に回答) %3")
                              .arg(r.file.subject, QString::number(r.summary.trials), r.file.fileName);
    if (!incomplete.isEmpty()) {
        flow.skip(flow.mm(2));
        flow.text(
            QCoreApplication::translate("ReportPdf", "未完了の実行 (%1、runs.csv と cells.csv には含む)")
                .arg(incomplete.size()),
            uiFont(11, true));
        for (const QString &line : incomplete)
            flow.text(line, small, 2);
    }
}

void runCharts(PageFlow &flow, const Report &report) {
    const QSize size(480, 360);
    const qreal gap = flow.mm(6);
    const qreal width = (flow.body().width() - gap * (ChartsPerRow - 1)) / ChartsPerRow;
    const qreal height = width * size.height() / size.width();
    int onPage = 0;
    for (const ReportRun &r : report.runs) {
        if (!r.file.complete)
            continue;
        if (onPage == 0) {
            flow.newPage();
            flow.text(
                QCoreApplication::translate("ReportPdf", "実行ごとの結果 (完了した実行、正答の平均反応時間)"),
                uiFont(11, true));
            flow.skip(flow.mm(2));
        }
        const RunSummary &s = r.summary;
        // A chart of its own for each run: a reused one would keep the legend of the first.
        ChartControl chart;
        const QString accuracy = accuracyOrDash(s, u"%");
        prepareReportChart(
            chart, size,
            QCoreApplication::translate("ReportPdf", "%1  正答率 %2 (%3/%4)")
                .arg(r.file.subject, accuracy, QString::number(s.correct), QString::number(s.trials)));
        int row = 2;
        for (const RunLine &line : s.lines) {
            addReportLine(chart, row, line.presentTime, line.meanRt);
            ++row;
        }
        const int column = onPage % ChartsPerRow;
        const qreal top = flow.y() + (onPage / ChartsPerRow) * (height + gap);
        flow.chart(chart, QRectF(flow.body().left() + column * (width + gap), top, width, height));
        onPage = (onPage + 1) % (ChartsPerRow * ChartRowsPerPage);
    }
}

} // namespace

bool writeReportPdf(const Report &report, QIODevice *device) {
    QPdfWriter writer(device);
    writer.setResolution(Dpi);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(MarginMm, MarginMm, MarginMm, MarginMm),
                                     QPageLayout::Millimeter));
    writer.setTitle(u"Kivora report"_qs);
    writer.setCreator(u"Kivora " KIVORA_VERSION ""_qs);
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    painter.setPen(Qt::black);
    PageFlow flow(writer, painter);

    flow.text(QCoreApplication::translate("ReportPdf", "キヴォラ反応時間 集計"), uiFont(16, true));
    flow.text(QCoreApplication::translate("ReportPdf", "データフォルダ: %1    作成: %2")
                  .arg(QDir::toNativeSeparators(report.folder),
                       QDateTime::currentDateTime().toString(u"yyyy-MM-dd HH:mm"_qs)),
              uiFont(9));
    const int complete = report.completeRuns();
    flow.text(QCoreApplication::translate("ReportPdf",
                                          "実行: 読み込み %1 (完了 %2: グループの集計と図に使用、未完了 %3)")
                  .arg(report.runs.size())
                  .arg(complete)
                  .arg(int(report.runs.size()) - complete),
              uiFont(10));
    if (const QStringList cp932 = report.readAsCp932(); !cp932.isEmpty()) {
        flow.text(
            QCoreApplication::translate(
                "ReportPdf",
                "次のファイルは UTF-8 ではないので、CP932 (日本語の Windows の Excel が保存する文字コード) "
                "として読みました。名前が正しく読めているか確かめてください。"),
            uiFont(9));
        flow.text(u"read as CP932: "_qs + cp932.join(u", "_qs), uiFont(9));
    }
    flow.skip(flow.mm(3));
    if (complete > 0)
        groupChart(flow, report);
    slopeTable(flow, report);
    exclusionRules(flow, report);
    leftOut(flow, report);
    runCharts(flow, report);
    return painter.end();
}

} // namespace kivora
