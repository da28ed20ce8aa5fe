#include "base/RuntimeError.h"
#include "results/DataSheet.h"
#include "results/ResultData.h"
#include "results/ResultPageLayout.h"
#include "support/SheetGrid.h"

#include <QLocale>
#include <QPoint>
#include <QTest>

#include <cmath>
#include <limits>

using kivora::DataSheet;
using kivora::ResultPageLayout;
using kivora::RunStats;
using kivora::RuntimeError;

namespace {

using sheet::describe;
using sheet::gridOf;

int errorOf(const std::function<void()> &f) {
    try {
        f();
    } catch (const RuntimeError &e) {
        return e.number();
    }
    return 0;
}

// Statistics as the results window receives them: per time number j its TimeList entry and
// the six means of directions 0..5 (direction 6 is filled too, to show it is never written).
struct Series {
    qint16 time;
    QList<double> means; // 6 values
};
RunStats statsOf(const QList<Series> &series) {
    RunStats stats;
    stats.TimeCount = qint16(series.size());
    for (int j = 1; j <= series.size(); ++j) {
        stats.TimeList[j] = series[j - 1].time;
        for (int k = 0; k < 6; ++k)
            stats.StatTable[j][k].Mean = series[j - 1].means[k];
        stats.StatTable[j][6].Mean = -1;
    }
    stats.StatTable[0][0].Mean = 999;
    return stats;
}

QStringList linesOf(const ResultPageLayout &page) {
    QStringList lines;
    for (const ResultPageLayout::Line &l : page.lines)
        lines << QString::number(l.y) + u" "_qs + l.text;
    return lines;
}

} // namespace

Q_DECLARE_METATYPE(RunStats)

class tst_ResultData : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void designTimeSheet();
    void sheetWrites_data();
    void sheetWrites();
    void sheetRefusesAddress_data();
    void sheetRefusesAddress();
    void sheetListener();

    void fillSheet_data();
    void fillSheet();
    void fillSheetOrder();
    void fillSheetSeventhTime();

    void rounding_data();
    void rounding();
    void roundingRefused_data();
    void roundingRefused();

    void summary_data();
    void summary();

    void pageOrigin();
    void pageLayout_data();
    void pageLayout();
};

void tst_ResultData::initTestCase() {
    // Numbers on screen and paper are plain decimals whatever the locale: a German default
    // would show 1234567 as "1.234.567" if any of them went through QLocale.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void tst_ResultData::designTimeSheet() {
    const DataSheet sheet(DataSheet::Contents::DesignTime);
    QCOMPARE(gridOf(sheet, 3, 3),
             (QStringList{u"- | n:60 | -"_qs, u"t:呈示 1200mS | - | -"_qs, u"- | - | -"_qs}));
    QCOMPARE(sheet.lastRow(), 2);
    QCOMPARE(sheet.lastColumn(), 2);

    const DataSheet empty;
    QVERIFY(empty.isEmpty());
    QCOMPARE(empty.lastRow(), 0);
    QCOMPARE(empty.lastColumn(), 0);
    QCOMPARE(gridOf(empty, 2, 2), (QStringList{u"- | -"_qs, u"- | -"_qs}));
}

// Writes in any order, read back with their kind.
void tst_ResultData::sheetWrites_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QVariant>("write");
    QTest::addColumn<QString>("read");
    QTest::addColumn<int>("lastRow");
    QTest::addColumn<int>("lastColumn");

    QTest::newRow("number over the design-time number") << 1 << 2 << QVariant(0.0) << u"n:0"_qs << 2 << 2;
    QTest::newRow("text over the design-time number") << 1 << 2 << QVariant(u"60"_qs) << u"t:60"_qs << 2 << 2;
    QTest::newRow("number over the design-time label") << 2 << 1 << QVariant(1.5) << u"n:1.5"_qs << 2 << 2;
    QTest::newRow("empty corner takes a text") << 1 << 1 << QVariant(u"x"_qs) << u"t:x"_qs << 2 << 2;
    QTest::newRow("far cell extends the sheet") << 7 << 9 << QVariant(-300.25) << u"n:-300.25"_qs << 7 << 9;
    QTest::newRow("last cell of the sheet")
        << 4000 << 4000 << QVariant(1e300) << u"n:1.0000000000000001e+300"_qs << 4000 << 4000;
    QTest::newRow("empty text is a text") << 3 << 3 << QVariant(QString()) << u"t:"_qs << 3 << 3;
}

void tst_ResultData::sheetWrites() {
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QVariant, write);
    QFETCH(QString, read);
    QFETCH(int, lastRow);
    QFETCH(int, lastColumn);

    DataSheet sheet(DataSheet::Contents::DesignTime);
    int writes = 0;
    sheet.setChangeListener([&](int, int) { ++writes; });
    if (write.typeId() == QMetaType::Double)
        sheet.cells(row, column) = write.toDouble();
    else
        sheet.cells(row, column) = write.toString();

    QCOMPARE(describe(sheet.cells(row, column)), read);
    QCOMPARE(describe(sheet.cells(row, column).value()), read);
    QCOMPARE(sheet.lastRow(), lastRow);
    QCOMPARE(sheet.lastColumn(), lastColumn);
    QCOMPARE(writes, 1);
}

void tst_ResultData::sheetRefusesAddress_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::newRow("row 0") << 0 << 1;
    QTest::newRow("column 0") << 1 << 0;
    QTest::newRow("negative") << -1 << -1;
    QTest::newRow("row 4001") << 4001 << 1;
    QTest::newRow("column 4001") << 1 << 4001;
}

void tst_ResultData::sheetRefusesAddress() {
    QFETCH(int, row);
    QFETCH(int, column);
    DataSheet sheet(DataSheet::Contents::DesignTime);
    int writes = 0;
    sheet.setChangeListener([&](int, int) { ++writes; });
    QCOMPARE(errorOf([&] { sheet.cells(row, column) = 1.0; }), int(kivora::ErrSubscript));
    QCOMPARE(errorOf([&] { std::as_const(sheet).cells(row, column); }), int(kivora::ErrSubscript));
    QCOMPARE(writes, 0);
    QCOMPARE(gridOf(sheet, 2, 2), (QStringList{u"- | n:60"_qs, u"t:呈示 1200mS | -"_qs}));
}

void tst_ResultData::sheetListener() {
    DataSheet sheet;
    QList<QPoint> seen;
    sheet.setChangeListener([&](int row, int column) { seen << QPoint(column, row); });
    sheet.cells(3, 4) = 1.0;
    sheet.cells(1, 2) = u"a"_qs;
    sheet.cells(3, 4) = 2; // an integer is stored as a number
    sheet.cells(5, 5) = sheet.cells(3, 4);
    QCOMPARE(seen, (QList<QPoint>{{4, 3}, {2, 1}, {4, 3}, {5, 5}}));
    QCOMPARE(describe(sheet.cells(3, 4)), u"n:2"_qs);
    QCOMPARE(describe(sheet.cells(5, 5)), u"n:2"_qs);
    sheet.clear();
    QVERIFY(sheet.isEmpty());
    QCOMPARE(seen.last(), QPoint(0, 0));
    QCOMPARE(seen.size(), 5);
}

// The sheet after the statistics are written into the design-time sheet, cell by cell, one
// row and one column beyond what is written.
void tst_ResultData::fillSheet_data() {
    QTest::addColumn<RunStats>("stats");
    QTest::addColumn<QStringList>("grid");

    const QString categories = u"- | n:0 | n:60 | n:120 | n:180 | n:240 | n:300 | n:360 | -"_qs;
    const QString empty9 = u"- | - | - | - | - | - | - | - | -"_qs;

    QTest::newRow("no presentation time keeps the design-time label")
        << statsOf({})
        << QStringList{categories, u"t:呈示 1200mS | - | - | - | - | - | - | - | -"_qs, empty9};

    QTest::newRow("one time, empty combinations drawn as 0")
        << statsOf({{400, {300.5, 0, 512.25, 0, 0, 1e-3}}})
        << QStringList{categories,
                       u"t:呈示 400mS | n:300.5 | n:0 | n:512.25 | n:0 | n:0 | n:0.001 | n:300.5 | -"_qs,
                       empty9};

    QTest::newRow("three times, 360 repeats 0")
        << statsOf({{800, {601, 602, 603, 604, 605, 606}},
                    {400, {1000.0 / 3.0, 402, 403, 404, 405, 406}},
                    {1200, {-7, 1202, 1203, 1204, 1205, 1206}}})
        << QStringList{
               categories, u"t:呈示 800mS | n:601 | n:602 | n:603 | n:604 | n:605 | n:606 | n:601 | -"_qs,
               u"t:呈示 400mS | n:333.33333333333331 | n:402 | n:403 | n:404 | n:405 | n:406 | "
               u"n:333.33333333333331 | -"_qs,
               u"t:呈示 1200mS | n:-7 | n:1202 | n:1203 | n:1204 | n:1205 | n:1206 | n:-7 | -"_qs, empty9};

    QTest::newRow("label digits as they are")
        << statsOf({{0, {1, 1, 1, 1, 1, 1}}, {-40, {2, 2, 2, 2, 2, 2}}, {32767, {3, 3, 3, 3, 3, 3}}})
        << QStringList{categories, u"t:呈示 0mS | n:1 | n:1 | n:1 | n:1 | n:1 | n:1 | n:1 | -"_qs,
                       u"t:呈示 -40mS | n:2 | n:2 | n:2 | n:2 | n:2 | n:2 | n:2 | -"_qs,
                       u"t:呈示 32767mS | n:3 | n:3 | n:3 | n:3 | n:3 | n:3 | n:3 | -"_qs, empty9};
}

void tst_ResultData::fillSheet() {
    QFETCH(RunStats, stats);
    QFETCH(QStringList, grid);

    DataSheet sheet(DataSheet::Contents::DesignTime);
    int writes = 0;
    sheet.setChangeListener([&](int, int) { ++writes; });
    kivora::fillDataSheet(sheet, stats);
    QCOMPARE(gridOf(sheet, int(grid.size()), 9), grid);
    QCOMPARE(writes, 7 + 8 * stats.TimeCount);
}

// Categories first, then every series label, then the values series by series.
void tst_ResultData::fillSheetOrder() {
    DataSheet sheet(DataSheet::Contents::DesignTime);
    QList<QPoint> writes; // (row, column) as (x, y)
    sheet.setChangeListener([&](int row, int column) { writes << QPoint(row, column); });
    kivora::fillDataSheet(sheet, statsOf({{400, {1, 2, 3, 4, 5, 6}}, {1200, {1, 2, 3, 4, 5, 6}}}));

    const QList<QPoint> expected{{1, 2}, {1, 3}, {1, 4}, {1, 5}, {1, 6}, {1, 7}, {1, 8}, //
                                 {2, 1}, {3, 1},                                         //
                                 {2, 2}, {2, 3}, {2, 4}, {2, 5}, {2, 6}, {2, 7}, {2, 8}, //
                                 {3, 2}, {3, 3}, {3, 4}, {3, 5}, {3, 6}, {3, 7}, {3, 8}};
    QCOMPARE(writes, expected);
}

// A TimeCount that Analyze left at 7 (a refused seventh time) stops at TimeList(7).
void tst_ResultData::fillSheetSeventhTime() {
    RunStats stats;
    for (int j = 1; j <= 6; ++j)
        stats.TimeList[j] = qint16(100 * j);
    stats.TimeCount = 7;
    DataSheet sheet;
    QCOMPARE(errorOf([&] { kivora::fillDataSheet(sheet, stats); }), int(kivora::ErrSubscript));
    QCOMPARE(describe(sheet.cells(7, 1)), u"t:呈示 600mS"_qs);
    QCOMPARE(describe(sheet.cells(8, 1)), u"-"_qs);
    QCOMPARE(describe(sheet.cells(2, 2)), u"-"_qs);
}

void tst_ResultData::rounding_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<qint64>("rounded");

    QTest::newRow("734.5 to even 734") << 734.5 << qint64(734);
    QTest::newRow("735.5 to even 736") << 735.5 << qint64(736);
    QTest::newRow("734.49 down") << 734.49 << qint64(734);
    QTest::newRow("734.51 up") << 734.51 << qint64(735);
    QTest::newRow("whole number") << 734.0 << qint64(734);
    QTest::newRow("zero") << 0.0 << qint64(0);
    QTest::newRow("0.5 to even 0") << 0.5 << qint64(0);
    QTest::newRow("1.5 to even 2") << 1.5 << qint64(2);
    QTest::newRow("2.5 to even 2") << 2.5 << qint64(2);
    // The largest double below 0.5: adding 0.5 and flooring would give 1.
    QTest::newRow("just below one half") << 0.49999999999999994 << qint64(0);
    QTest::newRow("-0.5 to even 0") << -0.5 << qint64(0);
    QTest::newRow("-734.5 to even -734") << -734.5 << qint64(-734);
    QTest::newRow("-735.5 to even -736") << -735.5 << qint64(-736);
    QTest::newRow("-734.49 toward zero") << -734.49 << qint64(-734);
    QTest::newRow("-734.51 away from zero") << -734.51 << qint64(-735);
    QTest::newRow("mean of two 32-bit extremes") << 2147483647.5 << qint64(2147483648);
    QTest::newRow("beyond 32 bits") << 4294967296.5 << qint64(4294967296);
    QTest::newRow("largest double below 2^63") << 9223372036854774784.0 << qint64(9223372036854774784);
    QTest::newRow("-2^63") << -9223372036854775808.0 << std::numeric_limits<qint64>::min();
}

void tst_ResultData::rounding() {
    QFETCH(double, value);
    QFETCH(qint64, rounded);
    QCOMPARE(kivora::roundHalfEven(value), rounded);
}

void tst_ResultData::roundingRefused_data() {
    QTest::addColumn<double>("value");
    QTest::newRow("2^63") << 9223372036854775808.0;
    QTest::newRow("below -2^63") << -9223372036854777856.0;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity();
    QTest::newRow("minus infinity") << -std::numeric_limits<double>::infinity();
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN();
}

void tst_ResultData::roundingRefused() {
    QFETCH(double, value);
    QCOMPARE(errorOf([&] { kivora::roundHalfEven(value); }), int(kivora::ErrOverflow));
}

void tst_ResultData::summary_data() {
    QTest::addColumn<qint16>("correct");
    QTest::addColumn<qint16>("trials");
    QTest::addColumn<double>("mean");
    QTest::addColumn<QString>("text");

    QTest::newRow("40 of 48, 734.5 ms")
        << qint16(40) << qint16(48) << 734.5 << u"正解数： 40 (48問中)\r\n全平均反応時間： 734ミリ秒"_qs;
    QTest::newRow("735.5 rounds up to even")
        << qint16(47) << qint16(48) << 735.5 << u"正解数： 47 (48問中)\r\n全平均反応時間： 736ミリ秒"_qs;
    QTest::newRow("734.49 rounds down")
        << qint16(1) << qint16(1) << 734.49 << u"正解数： 1 (1問中)\r\n全平均反応時間： 734ミリ秒"_qs;
    QTest::newRow("nothing answered")
        << qint16(0) << qint16(0) << 0.0 << u"正解数： 0 (0問中)\r\n全平均反応時間： 0ミリ秒"_qs;
    QTest::newRow("no separators in large numbers")
        << qint16(144) << qint16(144) << 1234567.0
        << u"正解数： 144 (144問中)\r\n全平均反応時間： 1234567ミリ秒"_qs;
    QTest::newRow("negative mean") << qint16(3) << qint16(5) << -12.5
                                   << u"正解数： 3 (5問中)\r\n全平均反応時間： -12ミリ秒"_qs;
    QTest::newRow("negative counts") << qint16(-1) << qint16(-32768) << 2147483647.0
                                     << u"正解数： -1 (-32768問中)\r\n全平均反応時間： 2147483647ミリ秒"_qs;
}

void tst_ResultData::summary() {
    QFETCH(qint16, correct);
    QFETCH(qint16, trials);
    QFETCH(double, mean);
    QFETCH(QString, text);
    QCOMPARE(kivora::summaryText(correct, trials, mean), text);
}

// Every position of the page is measured from its origin, 1 inch right of and 1/2 inch below the
// printable area's own corner, whatever the page holds; pageLayout's rows give positions from it.
void tst_ResultData::pageOrigin() {
    const ResultPageLayout page =
        kivora::layoutResultPage(336.0, 6480.0, QSizeF(6585, 6480), u"山田 花子"_qs, u"正解数"_qs);
    QCOMPARE(page.origin, QPointF(1440, 720));
}

// Positions in twips below the origin.
void tst_ResultData::pageLayout_data() {
    QTest::addColumn<double>("lineHeight");
    QTest::addColumn<double>("chartHeight");
    QTest::addColumn<QSizeF>("chartSize");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QRectF>("chart");
    QTest::addColumn<double>("endY");
    QTest::addColumn<bool>("code"); // the run's subject is a participant code

    const QString summary = u"正解数： 40 (48問中)\r\n全平均反応時間： 734ミリ秒"_qs;
    const QSizeF chart(6585, 6480);

    // 2h = 672; 672 + 6480 + 1440 = 8592.
    QTest::newRow("line height 336 twips")
        << 336.0 << 6480.0 << chart << u"山田 花子"_qs << summary
        << QStringList{u"0 氏名： 山田 花子"_qs, u"336 "_qs, u"8592 "_qs, u"8928 正解数： 40 (48問中)"_qs,
                       u"9264 全平均反応時間： 734ミリ秒"_qs}
        << QRectF(0, 672, 6585, 6480) << 9600.0 << false;

    QTest::newRow("fractional line height")
        << 322.5 << 6480.0 << chart << u"Suzuki"_qs << summary
        << QStringList{u"0 氏名： Suzuki"_qs, u"322.5 "_qs, u"8565 "_qs, u"8887.5 正解数： 40 (48問中)"_qs,
                       u"9210 全平均反応時間： 734ミリ秒"_qs}
        << QRectF(0, 645, 6585, 6480) << 9532.5 << false;

    // The text below the chart moves with the control's height, not the picture's.
    QTest::newRow("picture taller than the control")
        << 300.0 << 6480.0 << QSizeF(7000, 9000) << u"A"_qs << summary
        << QStringList{u"0 氏名： A"_qs, u"300 "_qs, u"8520 "_qs, u"8820 正解数： 40 (48問中)"_qs,
                       u"9120 全平均反応時間： 734ミリ秒"_qs}
        << QRectF(0, 600, 7000, 9000) << 9420.0 << false;

    QTest::newRow("another control height")
        << 300.0 << 3000.0 << chart << u"A"_qs << summary
        << QStringList{u"0 氏名： A"_qs, u"300 "_qs, u"5040 "_qs, u"5340 正解数： 40 (48問中)"_qs,
                       u"5640 全平均反応時間： 734ミリ秒"_qs}
        << QRectF(0, 600, 6585, 6480) << 5940.0 << false;

    QTest::newRow("summary as read back from the text box")
        << 336.0 << 6480.0 << chart << u"A"_qs << u"正解数： 40 (48問中)\n全平均反応時間： 734ミリ秒"_qs
        << QStringList{u"0 氏名： A"_qs, u"336 "_qs, u"8592 "_qs, u"8928 正解数： 40 (48問中)"_qs,
                       u"9264 全平均反応時間： 734ミリ秒"_qs}
        << QRectF(0, 672, 6585, 6480) << 9600.0 << false;

    QTest::newRow("summary ending in a line end")
        << 336.0 << 6480.0 << chart << u"A"_qs << u"正解数\r\n全平均反応時間\r\n"_qs
        << QStringList{u"0 氏名： A"_qs,          u"336 "_qs, u"8592 "_qs, u"8928 正解数"_qs,
                       u"9264 全平均反応時間"_qs, u"9600 "_qs}
        << QRectF(0, 672, 6585, 6480) << 9936.0 << false;

    QTest::newRow("a participant code")
        << 336.0 << 6480.0 << chart << u"P004217"_qs << summary
        << QStringList{u"0 参加者コード： P004217"_qs, u"336 "_qs, u"8592 "_qs,
                       u"8928 正解数： 40 (48問中)"_qs, u"9264 全平均反応時間： 734ミリ秒"_qs}
        << QRectF(0, 672, 6585, 6480) << 9600.0 << true;

    QTest::newRow("empty name") << 336.0 << 6480.0 << chart << QString() << summary
                                << QStringList{u"0 氏名： "_qs, u"336 "_qs, u"8592 "_qs,
                                               u"8928 正解数： 40 (48問中)"_qs,
                                               u"9264 全平均反応時間： 734ミリ秒"_qs}
                                << QRectF(0, 672, 6585, 6480) << 9600.0 << false;

    QTest::newRow("name with a line break pushes the chart down")
        << 336.0 << 6480.0 << chart << u"A\r\nB"_qs << summary
        << QStringList{u"0 氏名： A"_qs,
                       u"336 B"_qs,
                       u"672 "_qs,
                       u"8928 "_qs,
                       u"9264 正解数： 40 (48問中)"_qs,
                       u"9600 全平均反応時間： 734ミリ秒"_qs}
        << QRectF(0, 1008, 6585, 6480) << 9936.0 << false;
}

void tst_ResultData::pageLayout() {
    QFETCH(double, lineHeight);
    QFETCH(double, chartHeight);
    QFETCH(QSizeF, chartSize);
    QFETCH(QString, name);
    QFETCH(QString, summary);
    QFETCH(QStringList, lines);
    QFETCH(QRectF, chart);
    QFETCH(double, endY);
    QFETCH(bool, code);

    const ResultPageLayout page = kivora::layoutResultPage(lineHeight, chartHeight, chartSize,
                                                           kivora::subjectLine(name, code), summary);
    QCOMPARE(linesOf(page), lines);
    QCOMPARE(page.chart, chart);
    QCOMPARE(page.endY, endY);
}

QTEST_GUILESS_MAIN(tst_ResultData)
#include "tst_resultdata.moc"
