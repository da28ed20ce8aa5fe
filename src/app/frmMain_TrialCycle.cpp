// The trial cycle: countdown, first figure, arrow cue, test figure, each stage on screen before
// the next timer is armed.
#include "app/PictureBox.h"
#include "app/basTime.h"
#include "app/frmMain.h"
#include "base/Checked.h"
#include "base/Clock.h"
#include "results/RunObserver.h"
#include "run/TrialPictures.h"

#include <QLabel>
#include <algorithm>

using kivora::add16;
using kivora::sub16;

void frmMain::StartTurn() {
    const kivora::TrialRec &rec = basTime::Trials[CurTrial];
    m_awaitingAnswer = false;
    clearPicture();
    const qint16 left = add16(sub16(basTime::TrialCount, CurTrial), 1);
    lMsg->setText(u"あと"_qs + QString::number(left) + u"問"_qs);
    m_paintUs[Countdown].add(Refresh());
    const qint64 shownUs = nowUs();
    notify([&](kivora::RunObserver &o) { o.stageShown(u"countdown"_qs, CurTrial, lMsg->text(), shownUs); });
    tmSec->setInterval(qint32(rec.PresentTime));
    tmPrim->setEnabled(false);
    tmSec->setEnabled(false);
    armStage(*tmWait, First, shownUs);
    prepareTrialPictures(rec);
}

void frmMain::tmWait_Timer() {
    const kivora::TrialRec &rec = basTime::Trials[CurTrial];
    const kivora::PictureRef first = kivora::firstPicture(rec);
    showPicture(first.list, first.position);
    lMsg->setText(QString());
    m_paintUs[First].add(Refresh());
    const qint64 shownUs = nowUs();
    notify([&](kivora::RunObserver &o) {
        o.stageShown(u"first"_qs, CurTrial, u"%1-%2"_qs.arg(first.list).arg(first.position), shownUs);
    });
    armStage(*tmPrim, Cue, shownUs);
    tmWait->setEnabled(false);
}

void frmMain::tmPrim_Timer() {
    const kivora::TrialRec &rec = basTime::Trials[CurTrial];
    const kivora::PictureRef cue = kivora::cuePicture(rec);
    showPicture(cue.list, cue.position);
    lMsg->setText(QString());
    m_paintUs[Cue].add(Refresh());
    const qint64 shownUs = nowUs();
    notify([&](kivora::RunObserver &o) {
        o.stageShown(u"cue"_qs, CurTrial, u"%1-%2"_qs.arg(cue.list).arg(cue.position), shownUs);
    });
    armStage(*tmSec, Test, shownUs);
    tmPrim->setEnabled(false);
}

void frmMain::tmSec_Timer() {
    const kivora::TrialRec &rec = basTime::Trials[CurTrial];
    const kivora::PictureRef test = kivora::testPicture(rec);
    showPicture(test.list, test.position);
    lMsg->setText(u"表(1)？ or 裏(2)？"_qs);
    m_paintUs[Test].add(Refresh());
    tmSec->setEnabled(false);
    // Read after the repaint: the reaction time counts from the moment the figure is on screen.
    m_startTimeUs = nowUs();
    StartTime = kivora::Clock::toMs32(m_startTimeUs);
    m_awaitingAnswer = true;
    notify([&](kivora::RunObserver &o) {
        o.stageShown(u"test"_qs, CurTrial, u"%1-%2"_qs.arg(test.list).arg(test.position), m_startTimeUs);
    });
}

void frmMain::armStage(kivora::StageTimer &timer, Stage next, qint64 shownUs) {
    // Until the next screen has been painted once, the countdown's paint (measured at the start
    // of every trial) stands in for it.
    const qint64 measured = (m_paintUs[next].isEmpty() ? m_paintUs[Countdown] : m_paintUs[next]).median();
    // A paint never takes longer than a few ms; more is a busy machine, not something to plan
    // the next stage by.
    const qint64 paint = std::clamp<qint64>(measured, 0, 3000);
    timer.setLeadUs(nowUs() - shownUs + paint);
    timer.setEnabled(true);
}

void frmMain::prepareTrialPictures(const kivora::TrialRec &rec) {
    // Off the timed path, and never an error of its own: a bad record fails in the stage that
    // shows its picture, with that stage's error.
    const auto picture = [this](kivora::PictureRef ref) {
        return &ImageList[ref.list].ListImages(ref.position);
    };
    try {
        Image1->prepare({picture(kivora::firstPicture(rec)), picture(kivora::cuePicture(rec)),
                         picture(kivora::testPicture(rec))});
    } catch (const kivora::RuntimeError &) {
    }
}
