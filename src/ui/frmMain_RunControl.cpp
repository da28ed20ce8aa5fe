// Start, answers, Stop and End of the main window, and what the run shows in its windows: the
// buttons, the results window and a recorder's failure.
#include "platform/WindowSystem.h"
#include "ui/basTime.h"
#include "ui/frmMain.h"
#include "ui/frmResult.h"

#include <QMessageBox>
#include <QPushButton>

void frmMain::btnStart_Click() {
    if (basTime::TrialCount < 1) {
        // Without a trial the run would show record 1's zeros: say so and start nothing.
        QMessageBox::information(this, windowTitle(),
                                 u"試行計画に試行がありません。実験を開始できません。"_qs);
        return;
    }
    basTime::SubjectName = askName();
    // Back to the main window for the answer keys (without a window manager the keyboard focus
    // would stay with the closed dialog's root window).
    activateWindow();
    if (basTime::SubjectName.isEmpty()) // a name of blanks only is a name
        return;
    m_run.start();
}

void frmMain::Form_KeyDown(int &KeyCode, int /*Shift*/, qint64 keyTimeUs) {
    m_run.keyDown(KeyCode, keyTimeUs);
}

void frmMain::Analyze() {
    m_run.Analyze();
}

void frmMain::btnStop_Click() {
    m_run.stop();
}

void frmMain::btnEnd_Click() {
    close();
}

void frmMain::showRunning(bool running) {
    btnStart->setEnabled(!running);
    btnStop->setEnabled(running);
    btnEnd->setEnabled(!running);
}

void frmMain::showResults(const std::function<void()> &painted) {
    frmResult results; // loaded afresh for every showing, without an owner window
    kivora::onFirstPaint(&results, painted);
    results.exec();
    activateWindow();
}

void frmMain::showWriteFailure(const QString &detail, bool running) {
    auto *box = new QMessageBox(
        QMessageBox::Warning, windowTitle(),
        u"記録を書き込めませんでした。\n\n"_qs + detail +
            (running ? u"\n\nそれまでの記録は残っています。"_qs : u"\n\n実験は開始していません。"_qs),
        QMessageBox::Ok, this);
    box->setObjectName(u"writeFailure"_qs);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Shown for the experimenter without taking the keyboard. A modal box would run its own
    // event loop inside the stage handler that failed, with the trial's timers firing behind
    // it, and the participant's keys would close it unseen. The run goes on; Stop works.
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_ShowWithoutActivating);
    box->setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    box->show();
    activateWindow(); // where the platform activated the box all the same
}
