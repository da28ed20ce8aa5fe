// The trial cycle's handlers: countdown, first figure, arrow cue, test figure. The run shows each
// stage and counts its timer from the moment its screen came on screen.
#include "ui/frmMain.h"

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
