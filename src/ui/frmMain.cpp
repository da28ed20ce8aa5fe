#include "ui/frmMain.h"

#include "base/Clock.h"
#include "base/Fonts.h"
#include "base/KeyCodes.h"
#include "base/RuntimeError.h"
#include "base/Twips.h"
#include "platform/WindowSystem.h"
#include "results/SessionData.h"
#include "run/PlanMaker.h"
#include "run/PlanReader.h"
#include "ui/PictureBox.h"
#include "ui/TimersPresenter.h"
#include "ui/basTime.h"
#include "ui/frmResult.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

using kivora::rectFromTwips;

namespace {
QPushButton *makeButton(QWidget *parent, const QString &name, const QString &caption, const QRect &geometry) {
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setGeometry(geometry);
    b->setFont(kivora::uiFont(14.25, true));
    b->setAutoDefault(false);
    return b;
}
} // namespace

frmMain::frmMain(kivora::TimeSource &time, const std::function<kivora::PictureStore::Shapes()> &shapes,
                 QWidget *parent)
    : kivora::DesignedWindow(QSize(kivora::pxFromTwips(5280), kivora::pxFromTwips(4995)), parent),
      ImageList(shapes()), m_run(basTime::State, time, ImageList, *this),
      tmWait(&m_run.timerEnding(kivora::Stage::Countdown)), tmPrim(&m_run.timerEnding(kivora::Stage::First)),
      tmSec(&m_run.timerEnding(kivora::Stage::Cue)), CurTrial(m_run.curTrial()) {
    setObjectName(u"frmMain"_qs);
    setWindowTitle(u"Kivora"_qs);
    // Client area 5280 x 4995 twips (the panel the controls lie on), designed at 3810, 1920.
    // Nothing reacts to resizing: the controls keep their places; covering a monitor, the panel
    // stands in its middle.
    move(kivora::pxFromTwips(3810), kivora::pxFromTwips(1920));

    // Tab order 0, 1, 2 = creation order of the buttons; the label and the picture take no focus.
    btnStart = makeButton(panel(), u"btnStart"_qs, tr("開始"), rectFromTwips(720, 4440, 1215, 495));
    btnStop = makeButton(panel(), u"btnStop"_qs, tr("中止"), rectFromTwips(2040, 4440, 1215, 495));
    btnEnd = makeButton(panel(), u"btnEnd"_qs, tr("終了"), rectFromTwips(3360, 4440, 1215, 495));
    btnStop->setEnabled(false);
    setTabOrder(btnStart, btnStop);
    setTabOrder(btnStop, btnEnd);

    lMsg = new QLabel(panel());
    lMsg->setObjectName(u"lMsg"_qs);
    lMsg->setGeometry(rectFromTwips(720, 4080, 3855, 375));
    lMsg->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lMsg->setFont(kivora::uiFont(14.25, true));

    Image1 = new kivora::PictureBox(panel());
    Image1->setObjectName(u"Image1"_qs);
    Image1->setGeometry(rectFromTwips(690, 120, 3900, 3900));

    // Labels lie beneath the window's other controls.
    lMsg->lower();

    connect(btnStart, &QPushButton::clicked, this, &frmMain::btnStart_Click);
    connect(btnStop, &QPushButton::clicked, this, &frmMain::btnStop_Click);
    connect(btnEnd, &QPushButton::clicked, this, &frmMain::btnEnd_Click);
    connect(tmWait, &kivora::StageTimer::Timer, this, &frmMain::tmWait_Timer);
    connect(tmPrim, &kivora::StageTimer::Timer, this, &frmMain::tmPrim_Timer);
    connect(tmSec, &kivora::StageTimer::Timer, this, &frmMain::tmSec_Timer);
    connect(this, &DesignedWindow::movedToPrimary, this, [this] { m_run.displayMoved(); });

    setPresenter(std::make_unique<kivora::TimersPresenter>(this, Image1, time.clock()));

    // Key preview: the window sees every key before the focused control.
    qApp->installEventFilter(this);
    btnStart->setFocus();
}

frmMain::~frmMain() {
    qApp->removeEventFilter(this);
}

void frmMain::Refresh() {
    m_run.refresh();
}

void frmMain::showPicture(const QImage *picture) {
    Image1->setPicture(picture);
}

void frmMain::showCaption(const QString &caption) {
    // The caption is bold. A translated one that the bold face would carry past the label's edges
    // (Windows draws MS PGothic's bold a pixel wider a letter: "Normal (1) or mirrored (2)?" is
    // 267 px in the 257-px label) is drawn in the regular face of the same size instead, never cut
    // and never smaller. Every Japanese caption fits in bold.
    QFont font = lMsg->font();
    font.setBold(true);
    font.setBold(QFontMetricsF(font).horizontalAdvance(caption) <= lMsg->width());
    lMsg->setFont(font);
    lMsg->setText(caption);
}

void frmMain::repaintNow() {
    // Only paint requests are handled here: no key or timer handler can run in the middle of
    // the caller.
    kivora::repaintNow(this);
}

QString frmMain::askName(const QString &question, const QString &text) {
    QInputDialog dialog(this);
    dialog.setObjectName(u"nameDialog"_qs);
    dialog.setWindowTitle(QApplication::applicationName()); // no caption of its own
    dialog.setLabelText(question);
    dialog.setTextValue(text);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setOkButtonText(tr("OK"));
    dialog.setCancelButtonText(tr("キャンセル"));
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.textValue();
}

QString frmMain::askSubject() {
    if (m_subjects == kivora::SubjectMode::Name)
        return askName(tr("氏名を入力してください"), QString());
    // A participant code, refused until it keeps the rule; in Auto a fresh one offered, and one
    // the data folder has files of refused.
    const auto taken = [this](const QString &code) {
        return !m_dataFolder.isEmpty() && kivora::SessionData::subjectHasFiles(m_dataFolder, code);
    };
    const auto fresh = [&taken] {
        return kivora::freshParticipantCode([] { return quint32(kivora::freshSeed()); }, taken);
    };
    const bool offered = m_subjects == kivora::SubjectMode::Auto;
    QString text = offered ? fresh() : QString();
    for (;;) {
        const QString code = askName(tr("参加者コードを入力してください"), text);
        if (code.isEmpty())
            return code; // Cancel, or OK with nothing
        if (!kivora::isParticipantCode(code)) {
            QMessageBox::warning(this, windowTitle(), kivora::participantCodeRule());
            text = code;
        } else if (offered && taken(code)) {
            QMessageBox::warning(
                this, windowTitle(),
                tr("参加者コード %1 のデータファイルがすでにあります。別のコードにしてください。").arg(code));
            text = fresh();
        } else {
            return code;
        }
    }
}

bool frmMain::eventFilter(QObject *watched, QEvent *event) {
    const auto type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return QWidget::eventFilter(watched, event);
    auto *target = qobject_cast<QWidget *>(watched);
    if (!target || !(target == this || isAncestorOf(target)) || !isActiveWindow())
        return QWidget::eventFilter(watched, event);
    if (type == QEvent::KeyRelease)
        return true; // no key reaches the focused control, nor does its release (Space clicks on release)

    // The clock first, before any of the handler's own work lengthens the reaction time.
    qint64 keyUs = m_run.clock().nowUs();
    auto *key = static_cast<QKeyEvent *>(event);
    // Better still, the moment the press arrived, stamped by the key reader. Auto-repeats are no
    // presses of their own.
    if (!key->isAutoRepeat())
        keyUs = m_run.keyTime(key->nativeScanCode(), keyUs);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)
        return false; // focus moves between the buttons as usual

    int code = kivora::virtualKeyCode(*key);
    if (code == kivora::VK_RETURN && !key->isAutoRepeat() && btnStart->isEnabled()) {
        // Between runs Enter clicks the focused button, or else the default button btnStart.
        // During a run (btnStart disabled) it clicks nothing: the focus then rests on Stop, and
        // keypad Enter lies right beside the answer keys, so a slip would end the run. Esc
        // stops a run.
        auto *focused = qobject_cast<QPushButton *>(QApplication::focusWidget());
        if (focused && focused->window() == this && focused->isEnabled())
            focused->click();
        else
            btnStart->click();
        return true;
    } else if (code == kivora::VK_ESCAPE && !key->isAutoRepeat() && btnStop->isEnabled()) {
        btnStop->click(); // the cancel button
        return true;
    }
    if (key->isAutoRepeat())
        code = 0; // a held key answers once, not again with every repeat
    Form_KeyDown(code, int(key->modifiers() & Qt::ShiftModifier ? 1 : 0), keyUs);
    return true;
}

// --- the load step ----------------------------------------------------------------------------

void frmMain::Form_Load() {
    // The program's folder is the current folder for the rest of the program's life, so the
    // bare name "sequence.csv" is found there whichever folder the program was started from.
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    basTime::TrialCount = 0;
    // Reads value after value and refuses a plan the run could not carry out, with the file and
    // the line; only records 1..TrialCount and their plan fields are written.
    // Opened by its full name, so that a refusal names the folder it looked in.
    basTime::TrialCount = kivora::loadPlanFile(QDir::current().absoluteFilePath(m_planFile), basTime::Trials);
    m_run.planLoaded();
    m_run.showBetween(u"instruction"_qs);
}

// --- the trial cycle: countdown, first figure, arrow cue, test figure --------------------------
// The run shows each stage and counts its timer from the moment its screen came on screen.

void frmMain::StartTurn() {
    m_run.StartTurn();
}

void frmMain::tmWait_Timer() {
    m_run.stageElapsed(kivora::Stage::Countdown);
}

void frmMain::tmPrim_Timer() {
    m_run.stageElapsed(kivora::Stage::First);
}

void frmMain::tmSec_Timer() {
    m_run.stageElapsed(kivora::Stage::Cue);
}

// --- Start, answers, Stop and End, and what the run shows in the windows -----------------------

void frmMain::btnStart_Click() {
    if (basTime::TrialCount < 1) {
        // Without a trial the run would show record 1's zeros: say so and start nothing.
        QMessageBox::information(this, windowTitle(),
                                 tr("試行計画に試行がありません。実験を開始できません。"));
        return;
    }
    for (;;) {
        basTime::SubjectName = askSubject();
        // Back to the main window for the answer keys (without a window manager the keyboard
        // focus would stay with the closed dialog's root window).
        activateWindow();
        if (basTime::SubjectName.isEmpty()) // a name of blanks only is a name
            return;
        basTime::State.SubjectIsCode = m_subjects != kivora::SubjectMode::Name;
        // A fresh code that another PC took for a run meanwhile does not start (the data file's
        // recorder said so): another is offered. Any other failure to start ends here.
        if (m_run.start() || m_run.writeError() != kivora::ErrFileAlreadyExists)
            return;
    }
}

void frmMain::Form_KeyDown(int &KeyCode, int /*Shift*/, qint64 keyTimeUs) {
    m_run.keyDown(KeyCode, keyTimeUs);
    KeyCode = 0; // handled or swallowed: no key reaches the focused control
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
    // Covering the monitor, the pointer is out of sight while a run is in progress (it comes back
    // with Stop and before the results window opens).
    const bool hidden = QGuiApplication::overrideCursor() != nullptr;
    if (running && coversScreen() && !hidden)
        QGuiApplication::setOverrideCursor(Qt::BlankCursor);
    else if (!running && hidden)
        QGuiApplication::restoreOverrideCursor();
}

kivora::ScreenFacts frmMain::screenFacts() const {
    return DesignedWindow::screenFacts();
}

void frmMain::showResults(const std::function<void()> &painted) {
    // Loaded afresh for every showing, without an owner window; covering the monitor, the main
    // window owns it, so that it opens in front of it on the same monitor.
    frmResult results(coversScreen() ? this : nullptr);
    if (coversScreen()) // in the middle of the monitor rather than at its designed place
        results.move(shownOn()->geometry().center() - QPoint(results.width() / 2, results.height() / 2));
    kivora::onFirstPaint(&results, painted);
    results.exec();
    activateWindow();
}

void frmMain::showWriteFailure(const QString &detail, bool running) {
    auto *box = new QMessageBox(
        QMessageBox::Warning, windowTitle(),
        tr("記録を書き込めませんでした。\n\n") + detail +
            (running ? tr("\n\nそれまでの記録は残っています。") : tr("\n\n実験は開始していません。")),
        QMessageBox::Ok, this);
    box->setObjectName(u"writeFailure"_qs);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Shown for the experimenter without taking the keyboard. A modal box would run its own
    // event loop inside the stage handler that failed, with the trial's timers firing behind
    // it, and the participant's keys would close it unseen. The run goes on; Stop works.
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_ShowWithoutActivating);
    box->setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    if (coversScreen()) {
        // Away from the picture area: the monitor's bottom right corner.
        box->adjustSize();
        const QRect area = shownOn()->availableGeometry();
        box->move(area.right() - box->width() - 16, area.bottom() - box->height() - 48);
    }
    box->show();
    activateWindow(); // where the platform activated the box all the same
}

void frmMain::showTriggerLoss(const kivora::TriggerLoss &loss) {
    // After the run (or instead of it): the experimenter learns which trials the recorder has no
    // codes for before the next participant sits down.
    const QString trial = QString::number(loss.trial);
    const QString text =
        !loss.started ? tr("トリガーのポートを開けません。実験は開始していません。\n\n%1").arg(loss.reason)
        : loss.round > 0
            ? tr("トリガーを送れなくなりました。練習 %1 回目の第 %2 試行から後のトリガーはありません。\n\n%3")
                  .arg(QString::number(loss.round), trial, loss.reason)
            : tr("トリガーを送れなくなりました。第 %1 試行から後のトリガーはありません。\n\n%2")
                  .arg(trial, loss.reason);
    QMessageBox box(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
    box.setObjectName(u"triggerLoss"_qs);
    box.exec();
    activateWindow();
}
