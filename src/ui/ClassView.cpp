#include "ui/ClassView.h"

#include "base/Fonts.h"
#include "charts/ChartControl.h"
#include "charts/ReportCharts.h"
#include "ui/ClassFolderWatch.h"

#include <QCheckBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace kivora {

// The group chart drawn at the size of this widget, in the chart's own proportions: a report
// chart of its designed size, kept hidden, rendered as vectors, so that its texts and lines grow
// with the window. Each state gets a chart of its own, as each of report.pdf's charts has one: a
// chart drawn again keeps the legend it had.
class GroupChartPicture final : public QWidget {
public:
    explicit GroupChartPicture(QWidget *parent) : QWidget(parent) {
        setMinimumSize(GroupChartSize / 2);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        draw(Report{});
    }

    void draw(const Report &report) {
        delete m_chart;
        m_chart = new ChartControl(this);
        m_chart->setObjectName(u"groupChart"_qs);
        m_chart->hide();
        drawGroupChart(*m_chart, report);
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        painter.fillRect(rect(), palette().window());
        const QSizeF fitted = QSizeF(GroupChartSize).scaled(QSizeF(size()), Qt::KeepAspectRatio);
        const QRectF target(QPointF((width() - fitted.width()) / 2, (height() - fitted.height()) / 2),
                            fitted);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        m_chart->renderChartArea(&painter, target);
    }

private:
    ChartControl *m_chart = nullptr;
};

ClassView::ClassView(ClassFolderWatch &watch, QWidget *parent)
    : QWidget(parent), m_counts(new QLabel(this)), m_folder(new QLabel(this)),
      m_unreachable(new QLabel(this)), m_chart(new GroupChartPicture(this)), m_table(new QTableWidget(this)),
      m_showNames(new QCheckBox(tr("名前を表示"), this)),
      m_write(new QPushButton(tr("集計を書き出す"), this)) {
    setWindowTitle(tr("Kivora クラス表示"));
    m_counts->setObjectName(u"counts"_qs);
    m_folder->setObjectName(u"folder"_qs);
    m_folder->setText(tr("フォルダー: %1").arg(QDir::toNativeSeparators(watch.folder())));
    m_unreachable->setObjectName(u"unreachable"_qs);
    QPalette warning = m_unreachable->palette();
    warning.setColor(QPalette::WindowText, QColor(176, 0, 0));
    m_unreachable->setPalette(warning);
    m_unreachable->setWordWrap(true);
    m_unreachable->hide();
    m_chart->setObjectName(u"chart"_qs);
    m_table->setObjectName(u"runs"_qs);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setFocusPolicy(Qt::NoFocus);
    m_table->verticalHeader()->hide();
    // Every column as wide as its texts; the state, last, takes the rest and wraps a long reason.
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->setWordWrap(true);
    m_showNames->setObjectName(u"showNames"_qs);
    m_write->setObjectName(u"writeReport"_qs);
    m_write->setEnabled(false);

    auto *middle = new QHBoxLayout;
    middle->addWidget(m_chart, 2);
    middle->addWidget(m_table, 3);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_showNames);
    bottom->addStretch(1);
    bottom->addWidget(m_write);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_counts);
    layout->addWidget(m_folder);
    layout->addWidget(m_unreachable);
    layout->addLayout(middle, 1);
    layout->addLayout(bottom);

    connect(&watch, &ClassFolderWatch::changed, this, &ClassView::showState);
    connect(m_showNames, &QCheckBox::toggled, this, &ClassView::fillTable);
    connect(m_write, &QPushButton::clicked, this, [this] {
        if (m_writeReport)
            m_writeReport();
    });
    resize(1280, 800);
    m_showNames->setFocus(); // Tab goes on to "Write report"
}

void ClassView::setReportWriter(std::function<void()> write) {
    m_writeReport = std::move(write);
    m_write->setEnabled(bool(m_writeReport));
}

void ClassView::showState(std::shared_ptr<const ClassState> state) {
    m_state = std::move(state);
    const ClassState &s = *m_state;
    QString title = tr("Kivora クラス表示 — 完了 %1、未完了 %2").arg(s.complete).arg(s.incomplete);
    if (s.unreadable > 0)
        title += tr("、読めないファイル %1").arg(s.unreadable);
    setWindowTitle(title);
    m_counts->setText(tr("完了 %1、未完了 %2（うち書き込み中 %3）、読めないファイル %4")
                          .arg(s.complete)
                          .arg(s.incomplete)
                          .arg(s.writing)
                          .arg(s.unreadable));
    // Gone: what was read stays in sight, with since when the folder is out of reach.
    m_unreachable->setVisible(s.unreachableSince.has_value());
    if (s.unreachableSince)
        m_unreachable->setText(tr("%1 からフォルダーに届きません。表示は最後に読めたときのままです。")
                                   .arg(s.unreachableSince->toString(u"HH:mm:ss"_qs)));
    m_chart->draw(s.report);
    fillTable();
}

QString ClassView::participant(const ClassRow &row) const {
    if (!m_showNames->isChecked())
        return row.run >= 0 ? tr("参加者 %1").arg(row.number) : u"—"_qs;
    // A file that cannot be read has no participant of its own; its name says whose it is.
    return row.run >= 0 ? m_state->report.runs[std::size_t(row.run)].file.subject : row.fileName;
}

QString ClassView::stateText(const ClassRow &row) const {
    if (row.run < 0)
        return row.skipped.line > 0
                   ? tr("読めない（%1 行目）: %2").arg(row.skipped.line).arg(row.skipped.reason)
                   : tr("読めない: %1").arg(row.skipped.reason);
    if (m_state->report.runs[std::size_t(row.run)].file.complete)
        return tr("完了");
    return row.writing ? tr("未完了（書き込み中）") : tr("未完了");
}

void ClassView::fillTable() {
    if (!m_state)
        return;
    const Report &report = m_state->report;
    QStringList headers{tr("番号"), tr("参加者"), tr("回答"), tr("正答率")};
    for (qint16 t : report.times)
        headers << tr("傾き %1 ms").arg(t);
    headers << tr("状態");
    m_table->clear();
    m_table->setColumnCount(int(headers.size()));
    m_table->setHorizontalHeaderLabels(headers);
    m_table->setRowCount(int(m_state->rows.size()));
    for (int r = 0; r < int(m_state->rows.size()); ++r) {
        const ClassRow &row = m_state->rows[std::size_t(r)];
        QStringList cells{QString::number(row.number), participant(row)};
        if (row.run >= 0) {
            const ReportRun &run = report.runs[std::size_t(row.run)];
            const RunSummary &s = run.summary;
            cells << QString::number(s.trials) << accuracyOrDash(s, u" %");
            for (qint16 t : report.times) {
                const RunLine *line = s.lineAt(t);
                cells << (run.file.complete && line ? fixedOrDash(line->fit.slope, 2) : QString());
            }
        } else {
            cells << QString() << QString();
            for (std::size_t i = 0; i < report.times.size(); ++i)
                cells << QString();
        }
        cells << stateText(row);
        for (int c = 0; c < int(cells.size()); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            // Numbers to the right, as a table of figures has them; the texts to the left.
            const bool text = c == 1 || c == int(cells.size()) - 1;
            item->setTextAlignment(Qt::AlignVCenter | (text ? Qt::AlignLeft : Qt::AlignRight));
            m_table->setItem(r, c, item);
        }
    }
}

// The texts grow with the window: on a projector at 1920 × 1080 the table's text is 27 px high.
void ClassView::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    const int px = std::max(12, height() / 40);
    QFont font = uiFont(10);
    font.setPixelSize(px);
    setFont(font);
    QFont counts = uiFont(10, true);
    counts.setPixelSize(px * 5 / 4);
    m_counts->setFont(counts);
    m_unreachable->setFont(counts);
}

} // namespace kivora
