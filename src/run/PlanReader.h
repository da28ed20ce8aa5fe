#pragma once

#include "base/RuntimeError.h"
#include "run/TrialRec.h"

#include <QByteArray>
#include <QString>

namespace kivora {

// A refused trial plan: the numbered run-time error plus where it happened and why, in words the
// experimenter can act on. line() is 1-based; it is 0 when the file itself could not be opened or
// read. field() names the trial field the offending value was meant for and is empty when the fault
// is not about one value (a 145th trial, a file that cannot be opened). detail() is
// "FILE:LINE: message", or "FILE: message" without a line: the form compilers use, so editors can
// jump to the place.
class PlanError : public RuntimeError {
public:
    PlanError(int number, QString file, int line, QString field, QString message);

    QString file() const { return m_file; }
    int line() const { return m_line; }
    QString field() const { return m_field; }
    QString message() const { return m_message; }

private:
    QString m_file;
    int m_line;
    QString m_field;
    QString m_message;
};

// Reads a trial plan: five integers per trial (FigSet, StartDir, CueDir, Mirror, PresentTime), each
// ended by a comma or a line end, so a trial may span lines and several trials may share one. Fills
// FigSet..PresentTime of trials 1..n and returns n; record 0 and Answer/RT are never written. A
// refused plan throws PlanError naming fileName; the trials before the faulty one are then already
// written, the faulty one is not. Safe on any bytes and needs no QCoreApplication.
qint16 readPlan(const QByteArray &content, const QString &fileName, TrialTable &trials);

// Reads the file at path (taken as given, relative to the current folder when relative) and hands
// it to readPlan under that name.
qint16 loadPlanFile(const QString &path, TrialTable &trials);

// The short report of a loaded plan: the trial count, the presentation times in the order they
// first occur, and the trials per figure set, cue direction and mirror code. One fact per line.
QString planSummary(const TrialTable &trials, qint16 count);

} // namespace kivora
