#include "ui/frmResult.h"

#include "base/Fonts.h"
#include "base/Twips.h"
#include "charts/ChartControl.h"
#include "charts/ResultPagePainter.h"
#include "platform/PrintQueue.h"
#include "results/ResultData.h"
#include "results/ResultPageLayout.h"
#include "ui/FlatTextBox.h"
#include "ui/basTime.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>

using kivora::pxFromTwips;
using kivora::rectFromTwips;

frmResult::frmResult(QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint) {
    setObjectName(u"frmResult"_qs);
    setWindowTitle(tr("Results"));
    resize(pxFromTwips(7080), pxFromTwips(8295));
    move(pxFromTwips(2910), pxFromTwips(390));

    // Created bottom first: a later sibling lies above an earlier one. The label goes first so
    // that the chart, once visible, covers it.
    lWait = new QLabel(tr("処理中です．しばらくお待ち下さい．"), this);
    lWait->setObjectName(u"lWait"_qs);
    lWait->setGeometry(rectFromTwips(0, 2880, 7095, 495));
    lWait->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lWait->setFont(kivora::uiFont(14.25));

    chResult = new kivora::ChartControl(this);
    chResult->setObjectName(u"chResult"_qs);
    chResult->setGeometry(rectFromTwips(240, 240, 6585, 6480));
    chResult->setFocusPolicy(Qt::NoFocus);
    chResult->setVisible(false);

    txtResult = kivora::makeFlatTextBox(this, u"txtResult"_qs, rectFromTwips(240, 6840, 6615, 735),
                                        kivora::uiFont(14.25));
    txtResult->setTabChangesFocus(true);
    txtResult->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtResult->document()->setDocumentMargin(2); // px; two 14-pt lines fill the 49-px box
    txtResult->setPlainText(tr("正解数") + u"\r\n"_qs + tr("全平均反応時間") + u"\r\n"_qs);

    btnClose = new QPushButton(tr("閉じる"), this);
    btnClose->setObjectName(u"btnClose"_qs);
    btnClose->setGeometry(rectFromTwips(5640, 7680, 1215, 495));
    btnClose->setDefault(true);

    btnPrint = new QPushButton(tr("印刷"), this);
    btnPrint->setObjectName(u"btnPrint"_qs);
    btnPrint->setGeometry(rectFromTwips(4320, 7680, 1215, 495));

    setTabOrder(txtResult, btnClose);
    setTabOrder(btnClose, btnPrint);

    connect(btnPrint, &QPushButton::clicked, this, &frmResult::btnPrint_Click);
    connect(btnClose, &QPushButton::clicked, this, &frmResult::btnClose_Click);

    Form_Load();
}

void frmResult::Form_Load() {
    ShowResult();
}

void frmResult::ShowResult() {
    // While the window is still being made this paints nothing; it matters only when the
    // results are shown again on a window already on screen.
    repaint();

    kivora::DataSheet &sheet = chResult->Datasheet();
    kivora::fillDataSheet(sheet, basTime::Stats);

    chResult->setVisible(true);

    txtResult->setPlainText(
        kivora::summaryText(basTime::CorrectCount, basTime::TrialCount, basTime::StatTable[0][0].Mean));
}

void frmResult::btnPrint_Click() {
    PrintResult();
}

void frmResult::btnClose_Click() {
    close();
}

// Esc clicks the cancel button, as Enter (QDialog's default button) clicks the default one.
void frmResult::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        btnClose->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmResult::PrintResult() {
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        reportPrintFailure(tr("既定のプリンタが設定されていないため、印刷できません。\n"
                              "プリンタを接続して既定のプリンタに設定してから、もう一度印刷してください。"));
        return;
    }
    QPrinter printer(info, QPrinter::HighResolution);
    // The page's own origin is the corner of the printable area, where the page layout's
    // margins are measured from: Qt's default 10-pt margins would push the whole page right
    // and down.
    const QPageLayout layout = printer.pageLayout();
    printer.setPageMargins(layout.minimumMargins(), layout.units());
    printOn(printer);
}

bool frmResult::printOn(QPrinter &printer) {
    // The document name becomes the job's title and, on a PDF queue, its file name, where a
    // Japanese name is mangled.
    printer.setDocName(u"Kivora results"_qs);
    const QString name =
        printer.outputFormat() == QPrinter::PdfFormat ? printer.outputFileName() : printer.printerName();

    QPainter painter;
    if (!painter.begin(&printer)) {
        reportPrintFailure(tr("プリンタ「%1」で印刷を始められませんでした。\n"
                              "プリンタの電源と接続を確かめてから、もう一度印刷してください。")
                               .arg(name));
        return false;
    }
    chResult->copyChartArea();
    drawPage(painter);
    // end() hands the finished page to the system's print queue without looking at its answer,
    // so a queue that refuses the job would print nothing without a word; the watch tells.
    const kivora::PrintQueueWatch queue;
    const bool ended = painter.end();
    if (printer.outputFormat() == QPrinter::NativeFormat) {
        if (const QString refusal = queue.refusal(); !refusal.isEmpty()) {
            reportPrintFailure(tr("プリンタ「%1」が印刷を受け付けませんでした（%2）。\n"
                                  "プリンタの状態を確かめてから、もう一度印刷してください。")
                                   .arg(name, refusal));
            return false;
        }
    }
    if (!ended || printer.printerState() == QPrinter::Error) {
        reportPrintFailure(tr("プリンタ「%1」への印刷が失敗しました。\n"
                              "プリンタの状態を確かめてから、もう一度印刷してください。")
                               .arg(name));
        return false;
    }
    return true;
}

void frmResult::drawPage(QPainter &painter) {
    kivora::paintResultPage(painter, *chResult, chResult->height() * kivora::TwipsPerPixel,
                            kivora::subjectLine(basTime::SubjectName, basTime::State.SubjectIsCode),
                            txtResult->toPlainText());
}

void frmResult::reportPrintFailure(const QString &what) {
    QMessageBox::warning(this, tr("印刷"), what);
}
