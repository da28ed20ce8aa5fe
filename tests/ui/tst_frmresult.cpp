#include "base/Fonts.h"
#include "charts/ChartControl.h"
#include "results/DataSheet.h"
#include "results/ResultData.h"
#include "support/PixelProbe.h"
#include "support/SheetGrid.h"
#include "support/WindowGeometry.h"
#include "ui/basTime.h"
#include "ui/frmResult.h"

#include <QApplication>
#include <QBarCategoryAxis>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QValueAxis>

#include <array>

namespace {

// One presentation time of a run: its TimeList entry and the means of directions 0..5.
struct TimeLine {
    qint16 time;
    std::array<double, 6> means;
};
using TimeLines = QList<TimeLine>;

// The program-wide statistics as Analyze would leave them for these lines.
void setRun(const TimeLines &lines, qint16 correct, qint16 trials, double overallMean) {
    basTime::reset();
    basTime::TimeCount = qint16(lines.size());
    for (int j = 1; j <= lines.size(); ++j) {
        basTime::TimeList[j] = lines[j - 1].time;
        for (int k = 0; k < 6; ++k)
            basTime::StatTable[j][k] =
                kivora::StatCell{1, qint32(lines[j - 1].means[k]), lines[j - 1].means[k]};
    }
    basTime::CorrectCount = correct;
    basTime::TrialCount = trials;
    basTime::StatTable[0][0] = kivora::StatCell{trials, 0, overallMean};
}

using sheet::describe;
using sheet::gridOf;

QList<QLineSeries *> linesOf(kivora::ChartControl *chart) {
    QList<QLineSeries *> lines;
    for (QAbstractSeries *s : chart->chart()->series())
        lines << qobject_cast<QLineSeries *>(s);
    return lines;
}

QString fontText(const QFont &f) {
    return u"%1 %2pt%3"_qs.arg(f.family()).arg(f.pointSizeF()).arg(f.bold() ? u" bold"_qs : QString());
}

const TimeLines ThreeTimes{{800, {601, 602, 603, 604, 605, 606}},
                           {400, {1000.0 / 3.0, 402, 403, 404, 405, 406}},
                           {1200, {900, 0, 903, 904, 905, 906}}};

} // namespace

Q_DECLARE_METATYPE(TimeLines)

class tst_frmResult : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void window();
    void geometry_data();
    void geometry();
    void controls_data();
    void controls();
    void tabOrder_data();
    void tabOrder();
    void labelBeneathChart();

    void sheetAfterShowResult_data();
    void sheetAfterShowResult();
    void chartSeries_data();
    void chartSeries();
    void chartLook();
    void statisticsOnlyRead();
    void freshWindowEachShowing();

    void summary();

    void closing_data();
    void closing();
    void execReturnsOnEsc();

    void renderedWindow();
};

void tst_frmResult::initTestCase() {
    kivora::installFontSubstitutes();
}

void tst_frmResult::init() {
    setRun(ThreeTimes, 40, 48, 734.5);
}

void tst_frmResult::cleanup() {
    basTime::reset();
}

void tst_frmResult::window() {
    frmResult w;
    QCOMPARE(w.windowTitle(), u"Results"_qs);
    QCOMPARE(w.objectName(), u"frmResult"_qs);
    const Qt::WindowFlags flags = w.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
}

// The window and its controls where the layout puts them (geometry::ResultsWindow), as shown.
// The other tests take a control's place from the widget.
void tst_frmResult::geometry_data() {
    geometry::addRows(geometry::ResultsWindow);
}

void tst_frmResult::geometry() {
    frmResult w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    geometry::check(w);
}

// Text, font and focus of every control, all of them on the window itself. A font of size 0 is
// the window's own.
void tst_frmResult::controls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qreal>("pointSize");
    QTest::addColumn<Qt::FocusPolicy>("focus");

    QTest::newRow("btnPrint") << u"btnPrint"_qs << u"印刷"_qs << 0.0 << Qt::StrongFocus;
    QTest::newRow("btnClose") << u"btnClose"_qs << u"閉じる"_qs << 0.0 << Qt::StrongFocus;
    QTest::newRow("txtResult") << u"txtResult"_qs << QString() << 14.25 << Qt::StrongFocus;
    QTest::newRow("chResult") << u"chResult"_qs << QString() << 0.0 << Qt::NoFocus;
    QTest::newRow("lWait") << u"lWait"_qs << u"処理中です．しばらくお待ち下さい．"_qs << 14.25 << Qt::NoFocus;
}

void tst_frmResult::controls() {
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(qreal, pointSize);
    QFETCH(Qt::FocusPolicy, focus);

    frmResult w;
    QWidget *control = w.findChild<QWidget *>(name);
    QVERIFY(control);
    QCOMPARE(control->parentWidget(), &w);
    QCOMPARE(control->focusPolicy(), focus);
    if (auto *button = qobject_cast<QPushButton *>(control))
        QCOMPARE(button->text(), text);
    if (auto *label = qobject_cast<QLabel *>(control)) {
        QCOMPARE(label->text(), text);
        QCOMPARE(label->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    }
    if (pointSize > 0)
        QCOMPARE(fontText(control->font()), fontText(kivora::uiFont(pointSize)));
    else
        QCOMPARE(fontText(control->font()), fontText(w.font()));
}

// The focus starts on the lowest tab index that takes it (txtResult; the chart takes none)
// and Tab walks txtResult, btnClose, btnPrint.
void tst_frmResult::tabOrder_data() {
    QTest::addColumn<int>("tabs");
    QTest::addColumn<bool>("backwards");
    QTest::addColumn<QString>("focused");
    QTest::newRow("first focus") << 0 << false << u"txtResult"_qs;
    QTest::newRow("one Tab") << 1 << false << u"btnClose"_qs;
    QTest::newRow("two Tabs") << 2 << false << u"btnPrint"_qs;
    QTest::newRow("three Tabs wrap") << 3 << false << u"txtResult"_qs;
    QTest::newRow("one Shift+Tab") << 1 << true << u"btnPrint"_qs;
    QTest::newRow("two Shift+Tabs") << 2 << true << u"btnClose"_qs;
}

void tst_frmResult::tabOrder() {
    QFETCH(int, tabs);
    QFETCH(bool, backwards);
    QFETCH(QString, focused);

    frmResult w;
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QVERIFY(w.focusWidget());
    for (int i = 0; i < tabs; ++i)
        QTest::keyClick(w.focusWidget(), backwards ? Qt::Key_Backtab : Qt::Key_Tab,
                        backwards ? Qt::ShiftModifier : Qt::NoModifier);
    QVERIFY(w.focusWidget());
    QCOMPARE(w.focusWidget()->objectName(), focused);
}

// Where lWait and the chart overlap, the chart is what lies on top; lWait lies beneath every
// other control.
void tst_frmResult::labelBeneathChart() {
    frmResult w;
    const QList<QWidget *> stack = w.findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    QCOMPARE(stack.first(), w.lWait);

    const QPoint inBoth = w.lWait->geometry().intersected(w.chResult->geometry()).center();
    QWidget *top = w.childAt(inBoth);
    QVERIFY(top);
    QVERIFY(top == w.chResult || w.chResult->isAncestorOf(top));
}

// The chart's sheet cell by cell after ShowResult, one row and one column beyond what it wrote.
// The chart holds the sheet of the program-wide statistics, filled into its design-time sheet:
// the sheet the data sheet's own tests make of them (tst_ResultData::fillSheet).
void tst_frmResult::sheetAfterShowResult_data() {
    QTest::addColumn<TimeLines>("lines");
    QTest::newRow("TimeCount 0: the design-time label stays") << TimeLines{};
    QTest::newRow("TimeCount 3") << ThreeTimes;
}

void tst_frmResult::sheetAfterShowResult() {
    QFETCH(TimeLines, lines);
    setRun(lines, 1, 2, 3);
    kivora::DataSheet expected(kivora::DataSheet::Contents::DesignTime);
    kivora::fillDataSheet(expected, basTime::Stats);

    frmResult w;
    QVERIFY(!w.chResult->isHidden());
    const int rows = 2 + lines.size();
    QCOMPARE(gridOf(w.chResult->Datasheet(), rows, 9), gridOf(expected, rows, 9));
}

// What the chart draws, read back from the Qt Charts objects: one line per sheet row, named
// by column 1, with a point per category; the value axis covers the data in round numbers.
void tst_frmResult::chartSeries_data() {
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
// that has a value (the sheet's rows: tst_ResultData::fillSheet).
void tst_frmResult::chartSeries() {
    QFETCH(TimeLines, lines);
    QFETCH(double, axisMin);
    QFETCH(double, axisMax);
    setRun(lines, 1, 2, 3);

    frmResult w;
    const kivora::DataSheet &sheet = w.chResult->Datasheet();
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
    const QList<QLineSeries *> series = linesOf(w.chResult);
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
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QList<QLegendMarker *> legend = w.chResult->chart()->legend()->markers();
    QStringList legendNames;
    for (QLegendMarker *m : legend) {
        QVERIFY(m->isVisible());
        legendNames << m->label();
    }
    QCOMPARE(legendNames, names);

    auto *categories = qobject_cast<QBarCategoryAxis *>(w.chResult->chart()->axes(Qt::Horizontal).value(0));
    QVERIFY(categories);
    QCOMPARE(categories->categories(),
             (QStringList{u"0"_qs, u"60"_qs, u"120"_qs, u"180"_qs, u"240"_qs, u"300"_qs, u"360"_qs}));

    auto *values = qobject_cast<QValueAxis *>(w.chResult->chart()->axes(Qt::Vertical).value(0));
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

void tst_frmResult::chartLook() {
    frmResult w;
    QChart *chart = w.chResult->chart();
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
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(legend->geometry().bottom() <= chart->plotArea().top());
    QVERIFY(legend->geometry().top() > chart->geometry().top() + 10); // the title is above it
}

void tst_frmResult::statisticsOnlyRead() {
    const kivora::RunStats before = basTime::Stats;
    const qint16 trials = basTime::TrialCount;
    frmResult w;
    QVERIFY(basTime::Stats == before);
    QCOMPARE(basTime::TrialCount, trials);
}

// A window made after another run starts from the design-time chart, not from the last one.
void tst_frmResult::freshWindowEachShowing() {
    {
        frmResult first;
        QCOMPARE(linesOf(first.chResult).size(), 3);
    }
    setRun({}, 0, 0, 0);
    frmResult second;
    QCOMPARE(describe(second.chResult->Datasheet().cells(2, 1)), u"t:呈示 1200mS"_qs);
    QCOMPARE(describe(second.chResult->Datasheet().cells(3, 1)), u"-"_qs);
    QCOMPARE(describe(second.chResult->Datasheet().cells(2, 2)), u"-"_qs);
    QCOMPARE(linesOf(second.chResult).size(), 1);
}

// The text box shows the summary; its line end reads back as "\n".
// The summary box shows the summary text of the program-wide statistics (its wording and
// rounding: tst_ResultData::summary), read-only, without scroll bars, flat on the button face.
void tst_frmResult::summary() {
    basTime::CorrectCount = 40;
    basTime::TrialCount = 48;
    basTime::StatTable[0][0].Mean = 734.5;

    frmResult w;
    QCOMPARE(w.txtResult->toPlainText(), kivora::summaryText(40, 48, 734.5).replace(u"\r\n"_qs, u"\n"_qs));
    QVERIFY(w.txtResult->isReadOnly());
    QCOMPARE(w.txtResult->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(w.txtResult->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(w.txtResult->frameShape(), QFrame::NoFrame);
    QCOMPARE(w.txtResult->palette().color(QPalette::Base), w.palette().color(QPalette::Button));
}

// Enter and Esc click btnClose wherever the focus is (but on btnPrint, where Enter prints);
// the title bar's close box closes too.
void tst_frmResult::closing_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("key"); // 0: the close box
    QTest::newRow("Enter in txtResult") << u"txtResult"_qs << int(Qt::Key_Return);
    QTest::newRow("keypad Enter in txtResult") << u"txtResult"_qs << int(Qt::Key_Enter);
    QTest::newRow("Esc in txtResult") << u"txtResult"_qs << int(Qt::Key_Escape);
    QTest::newRow("Enter on btnClose") << u"btnClose"_qs << int(Qt::Key_Return);
    QTest::newRow("Esc on btnClose") << u"btnClose"_qs << int(Qt::Key_Escape);
    QTest::newRow("Esc on btnPrint") << u"btnPrint"_qs << int(Qt::Key_Escape);
    QTest::newRow("close box") << QString() << 0;
}

void tst_frmResult::closing() {
    QFETCH(QString, target);
    QFETCH(int, key);

    frmResult w;
    int clicks = 0;
    connect(w.btnClose, &QPushButton::clicked, this, [&] { ++clicks; });
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));

    if (key == 0) {
        QVERIFY(w.close());
    } else {
        QWidget *focus = w.findChild<QWidget *>(target);
        QVERIFY(focus);
        focus->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), focus);
        QTest::keyClick(focus, Qt::Key(key));
        QCOMPARE(clicks, 1);
    }
    QVERIFY(!w.isVisible());
}

// The way the main window opens it: exec() returns once Esc has closed it.
void tst_frmResult::execReturnsOnEsc() {
    frmResult w;
    bool pressed = false;
    QTimer::singleShot(0, &w, [&] {
        pressed = true;
        QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape);
    });
    // A fault would leave exec() waiting for ever; this ends it and fails the test instead.
    bool timedOut = false;
    QTimer::singleShot(10000, &w, [&] {
        timedOut = true;
        w.done(-1);
    });
    w.exec();
    QVERIFY(pressed);
    QVERIFY(!timedOut);
    QVERIFY(!w.isVisible());
}

// Measured from the rendered window: where lWait lies under the chart, the window shows the
// chart's own pixels, and with the chart hidden the label's text shows there instead.
void tst_frmResult::renderedWindow() {
    frmResult w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    const QRect label = w.lWait->geometry();
    const QRect chartRect = w.chResult->geometry();
    const QRect overlap = label.intersected(chartRect);
    QVERIFY(!overlap.isEmpty());

    const QImage shown = probe::screenshot(w);
    const QImage chart = probe::screenshot(*w.chResult);
    QCOMPARE(shown.size(), w.size());
    int differing = 0;
    for (int y = overlap.top(); y <= overlap.bottom(); ++y)
        for (int x = overlap.left(); x <= overlap.right(); ++x)
            differing += shown.pixel(x, y) != chart.pixel(x - chartRect.left(), y - chartRect.top());
    QCOMPARE(differing, 0);
    // The parts of the label the chart does not cover (it reaches 1 px past the window) hold no
    // text either.
    QCOMPARE(probe::darkCount(
                 shown, QRect(label.left(), label.top(), chartRect.left() - label.left(), label.height())),
             0);
    QCOMPARE(probe::darkCount(shown, QRect(chartRect.right() + 1, label.top(),
                                           label.right() - chartRect.right(), label.height())),
             0);

    // The chart as drawn: the grey plot area and the three lines in their colours.
    const int plot = probe::colorCount(chart, qRgb(192, 192, 192));
    QVERIFY2(plot > 40000, qPrintable(QString::number(plot)));
    QVERIFY(probe::colorCount(chart, qRgb(0, 0, 128)) > 100);
    QVERIFY(probe::colorCount(chart, qRgb(255, 0, 255)) > 100);
    QVERIFY(probe::colorCount(chart, qRgb(255, 255, 0)) > 100);

    // The label is there and would be seen without the chart.
    w.chResult->hide();
    QVERIFY(probe::darkCount(probe::screenshot(w), overlap) > 100);
}

QTEST_MAIN(tst_frmResult)
#include "tst_frmresult.moc"
