#include "base/Fonts.h"
#include "base/Twips.h"
#include "charts/ChartControl.h"
#include "charts/ResultPagePainter.h"
#include "results/ResultPageLayout.h"
#include "support/InLanguage.h"
#include "support/PixelProbe.h"
#include "ui/basTime.h"
#include "ui/frmResult.h"

#include <QApplication>
#include <QBarCategoryAxis>
#include <QClipboard>
#include <QLegend>
#include <QLegendMarker>
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

#include <algorithm>

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
    // Of several, the leftmost: the page's lines stand at its left edge, the chart's words inside
    // the chart ("Mean" begins a summary line and the chart's axis title in English).
    const Word *found = nullptr;
    for (const Word &w : pdf.words)
        if (w.text == text && (!found || w.box.left() < found->box.left()))
            found = &w;
    return found;
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

// Whether text stands on the page as a run of consecutive words: pdftotext splits a text at its
// spaces, and also where katakana meet kanji ("キヴォラ反応時間" comes out as two words).
bool printedAsWords(const QList<Word> &words, const QString &text) {
    const QString wanted = QString(text).remove(u' ');
    for (qsizetype i = 0; i < words.size(); ++i) {
        QString run;
        for (qsizetype j = i; j < words.size() && wanted.startsWith(run + words[j].text); ++j) {
            run += words[j].text;
            if (run == wanted)
                return true;
        }
    }
    return false;
}

// The texts the chart control draws of its own: its title, the axis titles, the category labels
// and the legend's line names.
QStringList chartTexts(kivora::ChartControl &control) {
    QChart *chart = control.chart();
    QStringList texts{chart->title()};
    for (QAbstractAxis *axis : chart->axes()) {
        texts << axis->titleText();
        if (auto *categories = qobject_cast<QBarCategoryAxis *>(axis))
            texts << categories->categories();
    }
    for (QLegendMarker *marker : chart->legend()->markers())
        if (marker->isVisible())
            texts << marker->label();
    texts.removeAll(QString()); // nothing to find of an empty one
    return texts;
}

// The page is laid out in twips; the PDF is measured in points, 20 twips to the point (1440 and 72
// to the inch).
constexpr qreal TwipsPerPoint = 20;

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

// The page as the print path makes it, measured from the PDF: a printer in PDF mode (the print
// path itself) and a plain PDF writer (any paged device) give one page whose lines stand where the
// page layout puts them, relative to the device's printable area, with the text the window shows
// (a summary written into the box is printed as it is, not worked out again), in the page font's
// size; and the chart drawn as vectors, its texts inside the layout's chart rectangle. Where the
// layout puts each line is its own test (tst_ResultData::pageLayout).
void tst_ResultPrint::pageLayout_data() {
    QTest::addColumn<bool>("printer");
    QTest::addColumn<QString>("shown"); // written into the summary box; empty: as ShowResult left it
    QTest::addColumn<QString>("language");
    QTest::newRow("printer in PDF mode") << true << QString() << u"ja"_qs;
    QTest::newRow("PDF writer") << false << QString() << u"ja"_qs;
    QTest::newRow("summary as the box shows it") << false << u"一行目\r\n二行目\r\n三行目"_qs << u"ja"_qs;
    QTest::newRow("in English") << true << QString() << u"en"_qs;
}

void tst_ResultPrint::pageLayout() {
    QFETCH(bool, printer);
    QFETCH(QString, shown);
    QFETCH(QString, language);

    const InLanguage in(language);
    frmResult w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    if (!shown.isEmpty()) {
        w.txtResult->setPlainText(shown);
        basTime::StatTable[0][0].Mean = 1; // a summary worked out again would differ from the box
    }
    const QString summary = w.txtResult->toPlainText();

    const QString file = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + u".pdf"_qs);
    QPointF area;     // the printable area's top left corner, points
    qreal fontPt = 0; // the page font's size
    MessageBoxCatcher catcher;
    if (printer) {
        QPrinter p(QPrinter::HighResolution);
        p.setOutputFormat(QPrinter::PdfFormat);
        p.setOutputFileName(file);
        area = p.pageLayout().paintRectPoints().topLeft();
        fontPt = kivora::resultPageFont(&p, basTime::SubjectName + summary).pointSizeF();
        QVERIFY(w.printOn(p));
    } else {
        QPdfWriter writer(file);
        area = writer.pageLayout().paintRectPoints().topLeft();
        fontPt = kivora::resultPageFont(&writer, basTime::SubjectName + summary).pointSizeF();
        QPainter painter(&writer);
        w.drawPage(painter);
    }
    QCOMPARE(catcher.texts, QStringList());

    const PdfText pdf = readPdf(file);
    QCOMPARE(pdf.pages, 1);

    // The line height, measured between the summary's first two lines, for the layout to place
    // the rest by.
    const QStringList summaryLines = summary.split(u'\n');
    QVERIFY(summaryLines.size() >= 2);
    const Word *summary1 = find(pdf, summaryLines[0].section(u' ', 0, 0));
    const Word *summary2 = find(pdf, summaryLines[1].section(u' ', 0, 0));
    QVERIFY(summary1 && summary2);
    const qreal line = summary2->box.top() - summary1->box.top();
    const QSizeF control = QSizeF(w.chResult->size()) * kivora::TwipsPerPixel; // printed at this size
    const kivora::ResultPageLayout page =
        kivora::layoutResultPage(line * TwipsPerPoint, control.height(), control,
                                 kivora::subjectLine(basTime::SubjectName, false), summary);
    const QPointF origin = area + page.origin / TwipsPerPoint;

    // Every line with text where the layout puts it. pdftotext boxes a word from the font's
    // ascent, the same for every line, so the first line's box may stand a little below its top.
    const Word *first = find(pdf, page.lines.first().text.section(u' ', 0, 0));
    QVERIFY(first);
    const qreal ascentGap = first->box.top() - origin.y();
    QVERIFY2(qAbs(ascentGap) < 1.0, qPrintable(QString::number(ascentGap)));
    QList<qreal> textTops;
    for (const kivora::ResultPageLayout::Line &l : page.lines) {
        if (l.text.isEmpty())
            continue;
        const Word *start = find(pdf, l.text.section(u' ', 0, 0));
        QVERIFY2(start, qPrintable(l.text));
        QCOMPARE(lineOf(pdf, *start), l.text);
        const qreal top = origin.y() + l.y / TwipsPerPoint + ascentGap;
        QVERIFY2(qAbs(start->box.top() - top) < 0.2,
                 qPrintable(u"%1: top %2, laid out at %3"_qs.arg(l.text).arg(start->box.top()).arg(top)));
        QVERIFY2(qAbs(start->box.left() - origin.x()) < 0.1, qPrintable(QString::number(start->box.left())));
        QVERIFY2(qAbs(start->box.height() - fontPt) < 1.5, qPrintable(QString::number(start->box.height())));
        textTops << start->box.top();
    }

    // The chart, drawn as vectors: every other word of the page lies inside the chart's rectangle,
    // and the chart's own texts are among them.
    const QRectF chart(origin + page.chart.topLeft() / TwipsPerPoint, page.chart.size() / TwipsPerPoint);
    QList<Word> chartWords;
    for (const Word &word : pdf.words) {
        if (std::any_of(textTops.begin(), textTops.end(),
                        [&word](qreal top) { return qAbs(word.box.top() - top) < 0.5; }))
            continue;
        QVERIFY2(chart.contains(word.box), qPrintable(word.text));
        chartWords << word;
    }
    for (const QString &text : chartTexts(*w.chResult))
        QVERIFY2(printedAsWords(chartWords, text), qPrintable(text));
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

// After printing the clipboard holds the chart's picture at the control's size, as the window shows
// the chart.
void tst_ResultPrint::clipboardHoldsChart() {
    frmResult w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QGuiApplication::clipboard()->setText(u"before"_qs);

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(m_dir.filePath(u"clip.pdf"_qs));
    QVERIFY(w.printOn(printer));

    // The chart's own look (its grey plot area, its lines' colours) is its own test's
    // (tst_ChartControl); here, that the picture is the chart as the window shows it.
    const QImage picture = QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(picture.size(), w.chResult->size());
    QCOMPARE(picture, probe::screenshot(*w.chResult));
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
