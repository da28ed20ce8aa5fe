#include "ui/basTime.h"
#include "ui/frmResult.h"
#include "base/Fonts.h"
#include "base/Twips.h"
#include "charts/ChartControl.h"
#include "results/ResultPageLayout.h"
#include "charts/ResultPagePainter.h"
#include "support/PixelProbe.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QPainter>
#include <QPdfWriter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QRawFont>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// A word of a PDF page as pdftotext places it, in points from the page's top left corner.
struct Word {
    QString text;
    QRectF box;
};

struct PdfText {
    int pages = 0;
    QList<Word> words;
    QString raw; // the page elements, for comparing whole pages
};

PdfText readPdf(const QString &file) {
    PdfText result;
    QProcess p;
    p.start(u"pdftotext"_qs, {u"-bbox"_qs, file, u"-"_qs});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return result;
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    result.raw = html.mid(html.indexOf(u"<page"_qs));
    result.pages = int(html.count(u"<page "_qs));
    static const QRegularExpression word(
        u"<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">([^<]*)</word>"_qs);
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        const QPointF topLeft(m.captured(1).toDouble(), m.captured(2).toDouble());
        const QPointF bottomRight(m.captured(3).toDouble(), m.captured(4).toDouble());
        result.words.append({m.captured(5), QRectF(topLeft, bottomRight)});
    }
    return result;
}

const Word *find(const PdfText &pdf, const QString &text) {
    for (const Word &w : pdf.words)
        if (w.text == text)
            return &w;
    return nullptr;
}

// The words on the same line as `first`, joined by single spaces.
QString lineOf(const PdfText &pdf, const Word &first) {
    QStringList words;
    for (const Word &w : pdf.words)
        if (qAbs(w.box.top() - first.box.top()) < 2 && w.box.left() >= first.box.left())
            words << w.text;
    return words.join(u' ');
}

// Closes the message boxes that open while it is armed and keeps what they said, so a test
// can go through a path that would otherwise wait for a click.
class MessageBoxCatcher : public QObject {
public:
    MessageBoxCatcher() { poll(); }
    QStringList texts;
    QStringList titles;
    QList<QMessageBox::Icon> icons;

private:
    void poll() {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            texts << box->text();
            titles << box->windowTitle();
            icons << box->icon();
            box->done(QMessageBox::Ok);
        }
        QTimer::singleShot(1, this, &MessageBoxCatcher::poll);
    }
};

// Page positions are designed in twips; the PDF is measured in points.
constexpr qreal points(qreal twips) {
    return twips / 20;
}

// The chart control's size on the window, printed at its designed size in points.
QSizeF chartControlPoints(const frmResult &w) {
    return QSizeF(points(w.chResult->width() * kivora::TwipsPerPixel),
                  points(w.chResult->height() * kivora::TwipsPerPixel));
}

void setRun() {
    basTime::reset();
    basTime::SubjectName = u"山田 花子"_qs;
    basTime::TimeCount = 3;
    const qint16 times[] = {800, 400, 1200};
    for (int j = 1; j <= 3; ++j) {
        basTime::TimeList[j] = times[j - 1];
        for (int k = 0; k < 6; ++k)
            basTime::StatTable[j][k].Mean = 400 + 100 * j + 20 * k;
    }
    basTime::TrialCount = 48;
    basTime::CorrectCount = 40;
    basTime::StatTable[0][0].Mean = 734.5;
}

} // namespace

class tst_ResultPrint : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void noDefaultPrinter();
    void jobThatCannotStart();
    void queueRefusingJobs();

    void pageLayout_data();
    void pageLayout();
    void twoPressesTwoIdenticalPages();
    void printedSummaryIsTheShownText();
    void clipboardHoldsChart();

    void pageFont_data();
    void pageFont();

private:
    QTemporaryDir m_dir;
};

void tst_ResultPrint::initTestCase() {
    kivora::installFontSubstitutes();
    QVERIFY(m_dir.isValid());
    if (QStandardPaths::findExecutable(u"pdftotext"_qs).isEmpty())
        QSKIP("pdftotext (poppler-utils) is needed to read the printed pages back");
}

void tst_ResultPrint::init() {
    setRun();
}

void tst_ResultPrint::cleanup() {
    basTime::reset();
}

// Without a printer the print button says so in a message box, and the window stays open
// with nothing else done (the clipboard keeps what it had).
void tst_ResultPrint::noDefaultPrinter() {
    if (!QPrinterInfo::defaultPrinter().isNull())
        QSKIP("a default printer is set up here; this test needs a system without one");

    frmResult w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QGuiApplication::clipboard()->setText(u"before"_qs);

    MessageBoxCatcher catcher;
    QTest::mouseClick(w.btnPrint, Qt::LeftButton);

    QCOMPARE(catcher.texts.size(), 1);
    QVERIFY2(catcher.texts[0].contains(u"既定のプリンタ"_qs), qPrintable(catcher.texts[0]));
    QCOMPARE(catcher.icons[0], QMessageBox::Warning);
    QCOMPARE(catcher.titles[0], u"印刷"_qs);
    QVERIFY(w.isVisible());
    QCOMPARE(QGuiApplication::clipboard()->text(), u"before"_qs);

    // Pressed again, the same again: nothing was left half done.
    QTest::mouseClick(w.btnPrint, Qt::LeftButton);
    QCOMPARE(catcher.texts.size(), 2);
    QVERIFY(w.isVisible());
}

// A job that cannot start (here: a PDF into a folder that does not exist) is reported, not fatal.
void tst_ResultPrint::jobThatCannotStart() {
    frmResult w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(m_dir.filePath(u"missing/folder/page.pdf"_qs));

    MessageBoxCatcher catcher;
    QVERIFY(!w.printOn(printer));
    QCOMPARE(catcher.texts.size(), 1);
    QVERIFY2(catcher.texts[0].contains(u"印刷を始められませんでした"_qs), qPrintable(catcher.texts[0]));
    QCOMPARE(catcher.icons[0], QMessageBox::Warning);
    QVERIFY(w.isVisible());
}

// A real queue that refuses jobs (a stopped or rejecting printer): CUPS says no, and the lab is
// told so, rather than waiting at an empty printer. Needs the CUPS queue that scripts/test sets up.
void tst_ResultPrint::queueRefusingJobs() {
    if (qEnvironmentVariableIsEmpty("KIVORA_TEST_CUPS") || QPrinterInfo::defaultPrinter().isNull())
        QSKIP("needs the CUPS default queue that scripts/test starts");
    const QString queue = QPrinterInfo::defaultPrinter().printerName();
    QCOMPARE(QProcess::execute(u"cupsreject"_qs, {queue}), 0);
    auto accept = qScopeGuard([&] { QProcess::execute(u"cupsaccept"_qs, {queue}); });

    frmResult w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    MessageBoxCatcher catcher;
    QTest::mouseClick(w.btnPrint, Qt::LeftButton);
    QCOMPARE(catcher.texts.size(), 1);
    QVERIFY2(catcher.texts[0].contains(u"受け付けませんでした"_qs), qPrintable(catcher.texts[0]));
    QVERIFY(w.isVisible());
}

// The page, measured from the PDF: a printer in PDF mode (the print path itself) and a plain
// PDF writer (any paged device) give the same positions relative to their printable area.
void tst_ResultPrint::pageLayout_data() {
    QTest::addColumn<bool>("printer");
    QTest::newRow("printer in PDF mode") << true;
    QTest::newRow("PDF writer") << false;
}

void tst_ResultPrint::pageLayout() {
    QFETCH(bool, printer);

    frmResult w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    const QString file = m_dir.filePath(printer ? u"printer.pdf"_qs : u"writer.pdf"_qs);
    QPointF area; // the printable area's top left corner, points
    MessageBoxCatcher catcher;
    if (printer) {
        QPrinter p(QPrinter::HighResolution);
        p.setOutputFormat(QPrinter::PdfFormat);
        p.setOutputFileName(file);
        area = p.pageLayout().paintRectPoints().topLeft();
        QVERIFY(w.printOn(p));
    } else {
        QPdfWriter writer(file);
        area = writer.pageLayout().paintRectPoints().topLeft();
        QPainter painter(&writer);
        w.drawPage(painter);
    }
    QCOMPARE(catcher.texts, QStringList());

    const PdfText pdf = readPdf(file);
    QCOMPARE(pdf.pages, 1);

    const Word *name = find(pdf, u"氏名："_qs);
    const Word *summary1 = find(pdf, u"正解数："_qs);
    const Word *summary2 = find(pdf, u"全平均反応時間："_qs);
    // pdftotext cuts the title where the katakana meet the kanji.
    const Word *titleStart = find(pdf, u"キヴォラ"_qs);
    const Word *titleEnd = find(pdf, u"反応時間"_qs);
    QVERIFY(name && summary1 && summary2 && titleStart && titleEnd);
    QCOMPARE(lineOf(pdf, *titleStart), u"キヴォラ 反応時間"_qs);
    const QRectF title = titleStart->box.united(titleEnd->box);
    QCOMPARE(lineOf(pdf, *name), u"氏名： 山田 花子"_qs);
    QCOMPARE(lineOf(pdf, *summary1), u"正解数： 40 (48問中)"_qs);
    QCOMPARE(lineOf(pdf, *summary2), u"全平均反応時間： 734ミリ秒"_qs);

    // The page's origin, shifted from the printable area's as the layout says.
    const qreal left = area.x() + points(kivora::ResultPageLayout::OriginLeft);
    const qreal top = area.y() + points(kivora::ResultPageLayout::OriginTop);
    QVERIFY2(qAbs(name->box.left() - left) < 0.1, qPrintable(QString::number(name->box.left())));
    QVERIFY2(qAbs(summary1->box.left() - left) < 0.1, qPrintable(QString::number(summary1->box.left())));
    QVERIFY2(qAbs(summary2->box.left() - left) < 0.1, qPrintable(QString::number(summary2->box.left())));
    QVERIFY2(qAbs(name->box.top() - top) < 1.0, qPrintable(QString::number(name->box.top())));

    // One line of 14-point text, measured between the summary lines.
    const qreal line = summary2->box.top() - summary1->box.top();
    QVERIFY2(line >= 14 && line <= 24, qPrintable(QString::number(line)));
    QVERIFY2(qAbs(summary1->box.height() - 14) < 1.5, qPrintable(QString::number(summary1->box.height())));

    // The chart's top two lines below the name line's top; the summary's first line one line
    // below the chart control's height and the gap under it.
    const qreal chartTop = name->box.top() + 2 * line;
    const QSizeF control = chartControlPoints(w);
    const qreal summaryTop = chartTop + control.height() + points(kivora::ResultPageLayout::ChartGap) + line;
    QVERIFY2(qAbs(summary1->box.top() - summaryTop) < 0.2,
             qPrintable(u"%1 vs %2"_qs.arg(summary1->box.top()).arg(summaryTop)));

    // The chart, drawn as vectors: its texts are text on the page, inside the control's size
    // from the chart's top left corner.
    const QRectF chart(QPointF(left, chartTop), control);
    QVERIFY(chart.contains(title));
    QVERIFY2(qAbs(title.center().x() - chart.center().x()) < 2,
             qPrintable(QString::number(title.center().x())));
    QVERIFY(title.top() - chart.top() < 20);
    QVERIFY2(qAbs(title.height() - 13.75) < 1.5, qPrintable(QString::number(title.height())));
    int chartWords = 0;
    for (const Word &word : pdf.words) {
        const bool textLine = qAbs(word.box.top() - name->box.top()) < 2 ||
                              qAbs(word.box.top() - summary1->box.top()) < 2 ||
                              qAbs(word.box.top() - summary2->box.top()) < 2;
        if (textLine)
            continue;
        ++chartWords;
        QVERIFY2(chart.contains(word.box), qPrintable(word.text));
    }
    for (const QString &label : {u"360"_qs, u"800mS"_qs, u"1200mS"_qs, u"文字の方向"_qs})
        QVERIFY2(find(pdf, label), qPrintable(label));
    QVERIFY(chartWords > 15);
}

// Two presses, two jobs, the same page twice.
void tst_ResultPrint::twoPressesTwoIdenticalPages() {
    frmResult w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    MessageBoxCatcher catcher;
    QStringList pages;
    for (int press = 1; press <= 2; ++press) {
        const QString file = m_dir.filePath(u"press%1.pdf"_qs.arg(press));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
        QVERIFY(w.printOn(printer));
        QCOMPARE(printer.docName(), u"Kivora results"_qs);
        const PdfText pdf = readPdf(file);
        QCOMPARE(pdf.pages, 1);
        pages << pdf.raw;
    }
    QVERIFY(!pages[0].isEmpty());
    QCOMPARE(pages[1], pages[0]);
    QCOMPARE(catcher.texts, QStringList());
}

// The summary is printed as the text box shows it, not worked out again.
void tst_ResultPrint::printedSummaryIsTheShownText() {
    frmResult w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.txtResult->setPlainText(u"一行目\r\n二行目\r\n三行目"_qs);
    basTime::StatTable[0][0].Mean = 1;

    const QString file = m_dir.filePath(u"shown.pdf"_qs);
    QPdfWriter writer(file);
    {
        QPainter painter(&writer);
        w.drawPage(painter);
    }
    const PdfText pdf = readPdf(file);
    const Word *name = find(pdf, u"氏名："_qs);
    const Word *first = find(pdf, u"一行目"_qs);
    const Word *second = find(pdf, u"二行目"_qs);
    const Word *third = find(pdf, u"三行目"_qs);
    QVERIFY(name && first && second && third);
    QVERIFY(!find(pdf, u"正解数："_qs));
    const qreal line = second->box.top() - first->box.top();
    QVERIFY(qAbs(third->box.top() - second->box.top() - line) < 0.1);
    const qreal belowChart = chartControlPoints(w).height() + points(kivora::ResultPageLayout::ChartGap);
    QVERIFY(qAbs(first->box.top() - (name->box.top() + 3 * line + belowChart)) < 0.2);
}

// After printing the clipboard holds the chart picture at the control's size.
void tst_ResultPrint::clipboardHoldsChart() {
    frmResult w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QGuiApplication::clipboard()->setText(u"before"_qs);

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(m_dir.filePath(u"clip.pdf"_qs));
    QVERIFY(w.printOn(printer));

    const QImage picture = QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(picture.size(), w.chResult->size());
    const int plot = probe::colorCount(picture, qRgb(192, 192, 192));
    QVERIFY2(plot > 40000, qPrintable(QString::number(plot)));
    QVERIFY(probe::colorCount(picture, qRgb(0, 0, 128)) > 100);
    QVERIFY(probe::colorCount(picture, qRgb(255, 255, 255)) > 10000);
}

// The page font: 14 points in the default face when it has every character to print, else
// the window face, which draws Japanese.
void tst_ResultPrint::pageFont_data() {
    QTest::addColumn<QString>("texts");
    QTest::addColumn<bool>("defaultFace");
    const bool defaultHasJapanese = QRawFont::fromFont(QFont()).supportsCharacter(U'氏');
    QTest::newRow("Latin only") << u"Name: Smith 40 (48)"_qs << true;
    QTest::newRow("Japanese") << u"氏名： 山田\r\n正解数： 40 (48問中)"_qs << defaultHasJapanese;
}

void tst_ResultPrint::pageFont() {
    QFETCH(QString, texts);
    QFETCH(bool, defaultFace);

    QPdfWriter writer(m_dir.filePath(u"font.pdf"_qs));
    const QFont font = kivora::resultPageFont(&writer, texts);
    QCOMPARE(font.pointSizeF(), 14.0);
    const QRawFont face = QRawFont::fromFont(font);
    for (const char32_t c : texts.toUcs4())
        if (c != U'\r' && c != U'\n')
            QVERIFY2(face.supportsCharacter(c), qPrintable(QString::fromUcs4(&c, 1)));
    if (defaultFace)
        QCOMPARE(font.family(), QFont().family());
    else
        QCOMPARE(font.family(), kivora::uiFaceName());
}

QTEST_MAIN(tst_ResultPrint)
#include "tst_resultprint.moc"
