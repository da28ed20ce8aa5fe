// Start, answers, Stop and End of the main window.
#include "analysis/Analyze.h"
#include "app/WindowSystem.h"
#include "app/basTime.h"
#include "app/frmMain.h"
#include "app/frmResult.h"
#include "base/Checked.h"
#include "base/Clock.h"
#include "base/KeyCodes.h"
#include "results/RunObserver.h"
#include "run/PlanMaker.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <cstdint>

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
    // The first trial's stages are counted in refreshes of the display, which the presenter may
    // still be measuring (for half a second after start-up).
    m_presenter->waitUntilReady();
    // A run whose record cannot be begun (a full disk, a removed stick) does not start: the
    // experimenter learns it now, before the participant answers into nothing.
    m_writeErrorShown = false;
    if (m_nextOrderSeed) {
        const quint64 seed = m_nextOrderSeed();
        kivora::fillInOrder(m_plan, basTime::TrialCount, seed, basTime::Trials);
        notify([&](kivora::RunObserver &o) { o.runOrdered(seed); });
    }
    if (!notify([&](kivora::RunObserver &o) { o.runStarted(basTime::SubjectName, nowUs()); }))
        return;
    CurTrial = 1;
    btnStart->setEnabled(false);
    btnStop->setEnabled(true);
    btnEnd->setEnabled(false);
    StartTurn();
}

void frmMain::Form_KeyDown(int &KeyCode, int /*Shift*/, qint64 keyTimeUs) {
    if (tmWait->Enabled() || tmPrim->Enabled() || tmSec->Enabled()) {
        KeyCode = 0;
        return;
    }
    if (KeyCode != kivora::VK_NUMPAD1 && KeyCode != kivora::VK_NUMPAD2 && KeyCode != kivora::VK_1 &&
        KeyCode != kivora::VK_2) {
        KeyCode = 0;
        return;
    }
    // Only a test figure on screen takes an answer. With no timer running the window may as well
    // be idle (before the first run, after Stop, after a finished run): a key then is swallowed
    // rather than written into a trial.
    if (!m_awaitingAnswer) {
        KeyCode = 0;
        return;
    }
    // The test figure may still be on its way to the screen (its flip is due at the next
    // refresh): its onset decides whether this key came after it.
    if (m_onsetUs[int(kivora::Screen::Test)] == 0)
        m_presenter->finish();
    const qint64 onsetUs = m_onsetUs[int(kivora::Screen::Test)];
    if (onsetUs == 0 || keyTimeUs < onsetUs) {
        // Pressed before the figure was on screen: swallowed, as in the timed stages.
        KeyCode = 0;
        return;
    }
    m_awaitingAnswer = false;
    // The reaction time from the two readings at full resolution (µs), rounded to the nearest
    // millisecond: the difference of two whole-millisecond readings would add up to 1 ms of
    // truncation error. 64-bit microseconds never wrap, so the 32-bit clock passing 2^31 between
    // the readings changes nothing.
    const qint64 rtUs = keyTimeUs - onsetUs;
    const qint32 d = qint32(std::clamp<qint64>((rtUs + 500) / 1000, INT32_MIN, INT32_MAX));
    kivora::TrialRec &rec = basTime::Trials[CurTrial];
    rec.RT = d;
    rec.Answer = (KeyCode == kivora::VK_NUMPAD1 || KeyCode == kivora::VK_1) ? 0 : 1;
    const kivora::AnswerTiming timing{rec.Answer + 1, keyTimeUs, rtUs,
                                      onsetUs - m_onsetUs[int(kivora::Screen::Cue)]};
    // Recorded (and on disk) before the next trial starts.
    notify([&](kivora::RunObserver &o) { o.answered(CurTrial, rec, timing); });
    if (CurTrial < basTime::TrialCount) {
        CurTrial = kivora::add16(CurTrial, 1);
        StartTurn();
    } else {
        m_runEnding = true; // the stop steps end a completed run; no "stop" is recorded for it
        btnStop_Click();
        m_runEnding = false;
        showPicture(0, u"wait"_qs);
        Refresh();
        Analyze();
        notify([&](kivora::RunObserver &o) { o.runCompleted(basTime::Stats, nowUs()); });
        showResults();
        showPicture(0, u"instruction"_qs);
        Refresh();
    }
    KeyCode = 0;
}

void frmMain::showResults() {
    frmResult results; // loaded afresh for every showing, without an owner window
    kivora::onFirstPaint(&results,
                         [this] { notify([&](kivora::RunObserver &o) { o.resultsShown(nowUs()); }); });
    results.exec();
    activateWindow();
    notify([&](kivora::RunObserver &o) { o.resultsClosed(nowUs()); });
}

qint64 frmMain::nowUs() const {
    return m_time.clock().nowUs();
}

bool frmMain::notify(const std::function<void(kivora::RunObserver &)> &call) {
    bool written = true;
    for (kivora::RunObserver *o : m_observers) {
        try {
            call(*o);
        } catch (const kivora::RuntimeError &e) {
            written = false;
            showWriteFailure(e.detail());
        }
    }
    return written;
}

void frmMain::showWriteFailure(const QString &detail) {
    if (m_writeErrorShown) // once per run
        return;
    m_writeErrorShown = true;
    const bool running = !btnStart->isEnabled();
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

void frmMain::Analyze() {
    kivora::Analyze(basTime::Trials, basTime::TrialCount, basTime::Stats);
}

void frmMain::btnStop_Click() {
    if (!m_runEnding && !btnStart->isEnabled())
        notify([&](kivora::RunObserver &o) { o.runStopped(nowUs()); });
    m_awaitingAnswer = false;
    m_turnActive = false;
    showPicture(0, u"instruction"_qs);
    lMsg->setText(QString());
    Refresh();
    tmWait->setEnabled(false);
    tmPrim->setEnabled(false);
    tmSec->setEnabled(false);
    btnStart->setEnabled(true);
    btnStop->setEnabled(false);
    btnEnd->setEnabled(true);
}

void frmMain::btnEnd_Click() {
    close();
}
