// The trial cycle: countdown, first figure, arrow cue, test figure, each stage on screen before
// the next timer is armed.
#include "app/Checked.h"
#include "app/Clock.h"
#include "app/PictureBox.h"
#include "app/basTime.h"
#include "app/frmMain.h"
#include "run/RunObserver.h"

#include <QLabel>
#include <algorithm>

using kivora::add16;
using kivora::mul16;
using kivora::sub16;

namespace {
// Position of the test figure in its set: direction (StartDir + CueDir) mod 6, in the mirrored
// half when Mirror is 1. % truncates like the old platform's Mod: the remainder takes the sign
// of the sum.
qint16 testPosition(const kivora::TrialRec &rec) {
    const qint16 s = add16(rec.CueDir, rec.StartDir);
    return add16(add16(qint16(s % 6), mul16(rec.Mirror, 6)), 1);
}
} // namespace

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
    const qint16 first = add16(rec.StartDir, 1);
    showPicture(rec.FigSet, first);
    lMsg->setText(QString());
    m_paintUs[First].add(Refresh());
    const qint64 shownUs = nowUs();
    notify([&](kivora::RunObserver &o) {
        o.stageShown(u"first"_qs, CurTrial, u"%1-%2"_qs.arg(rec.FigSet).arg(first), shownUs);
    });
    armStage(*tmPrim, Cue, shownUs);
    tmWait->setEnabled(false);
}

void frmMain::tmPrim_Timer() {
    const kivora::TrialRec &rec = basTime::Trials[CurTrial];
    const qint16 cue = add16(rec.CueDir, 1);
    showPicture(0, cue);
    lMsg->setText(QString());
    m_paintUs[Cue].add(Refresh());
    const qint64 shownUs = nowUs();
    notify([&](kivora::RunObserver &o) { o.stageShown(u"cue"_qs, CurTrial, u"0-%1"_qs.arg(cue), shownUs); });
    armStage(*tmSec, Test, shownUs);
    tmPrim->setEnabled(false);
}

void frmMain::tmSec_Timer() {
    const kivora::TrialRec &rec = basTime::Trials[CurTrial];
    const qint16 k = testPosition(rec);
    showPicture(rec.FigSet, k);
    lMsg->setText(u"表(1)？ or 裏(2)？"_qs);
    m_paintUs[Test].add(Refresh());
    tmSec->setEnabled(false);
    // Read after the repaint: the reaction time counts from the moment the figure is on screen.
    m_startTimeUs = nowUs();
    StartTime = kivora::Clock::toMs32(m_startTimeUs);
    m_awaitingAnswer = true;
    notify([&](kivora::RunObserver &o) {
        o.stageShown(u"test"_qs, CurTrial, u"%1-%2"_qs.arg(rec.FigSet).arg(k), m_startTimeUs);
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
    // Off the timed path, and never an error of its own: a bad record fails in its stage, as it
    // always has.
    try {
        Image1->prepare({&ImageList[rec.FigSet].ListImages(add16(rec.StartDir, 1)),
                         &ImageList[0].ListImages(add16(rec.CueDir, 1)),
                         &ImageList[rec.FigSet].ListImages(testPosition(rec))});
    } catch (const kivora::RuntimeError &) {
    }
}
