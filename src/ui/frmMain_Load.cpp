// The main window's load step: the plan file into the trial table.
#include "ui/basTime.h"
#include "ui/frmMain.h"
#include "run/PlanReader.h"

#include <QCoreApplication>
#include <QDir>

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
