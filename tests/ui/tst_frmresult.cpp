#include "base/Fonts.h"
#include "charts/ChartControl.h"
#include "results/DataSheet.h"
#include "results/ResultData.h"
#include "support/ChartData.h"
#include "support/InLanguage.h"
#include "support/PixelProbe.h"
#include "support/SheetGrid.h"
#include "support/WindowGeometry.h"
#include "ui/basTime.h"
#include "ui/frmResult.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using charts::fontText;
using charts::linesOf;
using charts::ThreeTimes;
using charts::TimeLines;

namespace {

// The program-wide statistics as Analyze would leave them for these lines.
void setRun(const TimeLines &lines, qint16 correct, qint16 trials, double overallMean) {
    basTime::reset();
    basTime::Stats = charts::statsOf(lines);
    basTime::CorrectCount = correct;
    basTime::TrialCount = trials;
    basTime::StatTable[0][0] = kivora::StatCell{trials, 0, overallMean};
}

using sheet::describe;
using sheet::gridOf;

} // namespace

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
    QTest::addColumn<QString>("language");

    QTest::newRow("btnPrint") << u"btnPrint"_qs << u"印刷"_qs << 0.0 << Qt::StrongFocus << u"ja"_qs;
    QTest::newRow("btnClose") << u"btnClose"_qs << u"閉じる"_qs << 0.0 << Qt::StrongFocus << u"ja"_qs;
    QTest::newRow("txtResult") << u"txtResult"_qs << QString() << 14.25 << Qt::StrongFocus << u"ja"_qs;
    QTest::newRow("chResult") << u"chResult"_qs << QString() << 0.0 << Qt::NoFocus << u"ja"_qs;
    QTest::newRow("lWait") << u"lWait"_qs << u"処理中です．しばらくお待ち下さい．"_qs << 14.25 << Qt::NoFocus
                           << u"ja"_qs;
    QTest::newRow("btnPrint in English")
        << u"btnPrint"_qs << u"Print"_qs << 0.0 << Qt::StrongFocus << u"en"_qs;
    QTest::newRow("btnClose in English")
        << u"btnClose"_qs << u"Close"_qs << 0.0 << Qt::StrongFocus << u"en"_qs;
}

void tst_frmResult::controls() {
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(qreal, pointSize);
    QFETCH(Qt::FocusPolicy, focus);
    QFETCH(QString, language);

    const InLanguage in(language);
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
        QCOMPARE(linesOf(*first.chResult).size(), 3);
    }
    setRun({}, 0, 0, 0);
    frmResult second;
    QCOMPARE(describe(second.chResult->Datasheet().cells(2, 1)), u"t:呈示 1200mS"_qs);
    QCOMPARE(describe(second.chResult->Datasheet().cells(3, 1)), u"-"_qs);
    QCOMPARE(describe(second.chResult->Datasheet().cells(2, 2)), u"-"_qs);
    QCOMPARE(linesOf(*second.chResult).size(), 1);
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
// chart's own pixels, and with the chart hidden the label's text shows there instead. (The
// chart's pixels themselves: tst_ChartControl::chartDrawn.)
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

    // The label is there and would be seen without the chart.
    w.chResult->hide();
    QVERIFY(probe::darkCount(probe::screenshot(w), overlap) > 100);
}

QTEST_MAIN(tst_frmResult)
#include "tst_frmresult.moc"
