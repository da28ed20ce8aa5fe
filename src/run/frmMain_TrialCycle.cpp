// The trial cycle: countdown, first figure, arrow cue, test figure, each stage on screen before
// the next timer is armed.
#include "app/Checked.h"
#include "app/Clock.h"
#include "app/basTime.h"
#include "app/frmMain.h"

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
    tmSec->setInterval(qint32(rec.PresentTime));
    tmPrim->setEnabled(false);
    tmSec->setEnabled(false);
    tmWait->setEnabled(true);
}

void frmMain::tmWait_Timer() {
    const kivora::TrialRec &rec = basTime::Trials[CurTrial];
    showPicture(rec.FigSet, add16(rec.StartDir, 1));
    lMsg->setText(QString());
    Refresh();
    tmPrim->setEnabled(true);
    tmWait->setEnabled(false);
}

void frmMain::tmPrim_Timer() {
    const kivora::TrialRec &rec = basTime::Trials[CurTrial];
    showPicture(0, add16(rec.CueDir, 1));
    lMsg->setText(QString());
    Refresh();
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
    m_startTimeUs = m_time.clock().nowUs();
    StartTime = kivora::Clock::toMs32(m_startTimeUs);
    m_awaitingAnswer = true;
}
