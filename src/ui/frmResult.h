#pragma once

#include <QDialog>

namespace kivora {
class ChartControl;
}
class QLabel;
class QPainter;
class QPlainTextEdit;
class QPrinter;
class QPushButton;

// The results window of a finished run: the line chart of the mean reaction times, the
// two-line summary, and buttons to print and to close. It reads the program-wide statistics
// (basTime) and never changes them.
//
// Made afresh for every showing and filled while it is made (Form_Load runs from the
// constructor), so the caller only does
//     frmResult w;
//     w.exec();
// Enter and Esc click btnClose, as does the close box of the title bar.
class frmResult : public QDialog {
    Q_OBJECT
public:
    explicit frmResult(QWidget *parent = nullptr);

    // Fills the chart's sheet and the summary from the statistics and shows the chart.
    void ShowResult();
    // Prints one page on the system's default printer: the participant's name, the chart and
    // the summary. Without a default printer, or when the job fails, a message box says so and
    // the window stays open.
    void PrintResult();

    // One print job on the given printer: the page, and the chart picture onto the clipboard.
    // A failure is reported in a message box. Returns whether the page went out.
    bool printOn(QPrinter &printer);
    // Draws the page onto a painter that is open on a printer, a PDF writer or any other paged
    // device; positions follow the device's resolution.
    void drawPage(QPainter &painter);

    // Controls, top of the stacking order first.
    QPushButton *btnPrint;
    QPushButton *btnClose;
    QPlainTextEdit *txtResult;
    kivora::ChartControl *chResult;
    QLabel *lWait;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Form_Load();
    void btnPrint_Click();
    void btnClose_Click();
    void reportPrintFailure(const QString &what);
};
