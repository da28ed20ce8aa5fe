// The trial cycle: countdown, first figure, arrow cue, test figure, each stage on screen before
// the next timer is armed.
#include "app/Checked.h"
#include "app/Clock.h"
#include "app/basTime.h"
#include "app/frmMain.h"
#include "run/RunObserver.h"

#include <QLabel>

using kivora::add16;
using kivora::mul16;
using kivora::sub16;

void frmMain::StartTurn() {
    const kivora::TrialRec &rec = basTime::Trials[CurTrial];
    m_awaitingAnswer = false;
    clearPicture();
    const qint16 left = add16(sub16(basTime::TrialCount, CurTrial), 1);
    lMsg->setText(u"あと"_qs + QString::number(left) + u"問"_qs);
    Refresh();
    const qint64 shownUs = nowUs();
    notify([&](kivora::RunObserver &o) { o.stageShown(u"countdown"_qs, CurTrial, lMsg->text(), shownUs); });
    tmSec->setInterval(qint32(rec.PresentTime));
    tmPrim->setEnabled(false);
    tmSec->setEnabled(false);
    tmWait->setEnabled(true);
}

void frmMain::tmWait_Timer() {
    const kivora::TrialRec &rec = basTime::Trials[CurTrial];
    const qint16 first = add16(rec.StartDir, 1);
    showPicture(rec.FigSet, first);
    lMsg->setText(QString());
    Refresh();
    const qint64 shownUs = nowUs();
    notify([&](kivora::RunObserver &o) {
        o.stageShown(u"first"_qs, CurTrial, u"%1-%2"_qs.arg(rec.FigSet).arg(first), shownUs);
    });
    tmPrim->setEnabled(true);
    tmWait->setEnabled(false);
}

void frmMain::tmPrim_Timer() {
    const kivora::TrialRec &rec = basTime::Trials[CurTrial];
    const qint16 cue = add16(rec.CueDir, 1);
    showPicture(0, cue);
    lMsg->setText(QString());
    Refresh();
    const qint64 shownUs = nowUs();
    notify([&](kivora::RunObserver &o) { o.stageShown(u"cue"_qs, CurTrial, u"0-%1"_qs.arg(cue), shownUs); });
    tmSec->setEnabled(true);
    tmPrim->setEnabled(false);
}

void frmMain::tmSec_Timer() {
    const kivora::TrialRec &rec = basTime::Trials[CurTrial];
    const qint16 s = add16(rec.CueDir, rec.StartDir);
    // % truncates like the old platform's Mod: the remainder takes the sign of s.
    const qint16 k = add16(add16(qint16(s % 6), mul16(rec.Mirror, 6)), 1);
    showPicture(rec.FigSet, k);
    lMsg->setText(u"表(1)？ or 裏(2)？"_qs);
    Refresh();
    tmSec->setEnabled(false);
    // Read after the repaint: the reaction time counts from the moment the figure is on screen.
    m_startTimeUs = nowUs();
    StartTime = kivora::Clock::toMs32(m_startTimeUs);
    m_awaitingAnswer = true;
    notify([&](kivora::RunObserver &o) {
        o.stageShown(u"test"_qs, CurTrial, u"%1-%2"_qs.arg(rec.FigSet).arg(k), m_startTimeUs);
    });
}
