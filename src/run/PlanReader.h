#pragma once

#include "base/RuntimeError.h"
#include "run/TrialRec.h"

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <array>

namespace kivora {

// The five plan fields in file order with the values the rest of the program can use: FigSet picks
// image list 1..4, the directions are picture positions 1..6 (steps of 60 degrees), Mirror is the
// expected answer code, and a presentation time of 0 or less would never let the cue show.
struct PlanField {
    QStringView name;
    qint16 TrialRec::*member;
    int low;
    int high;
};

inline constexpr std::array<PlanField, 5> PlanFields{{
    {u"FigSet", &TrialRec::FigSet, 1, 4},
    {u"StartDir", &TrialRec::StartDir, 0, 5},
    {u"CueDir", &TrialRec::CueDir, 0, 5},
    {u"Mirror", &TrialRec::Mirror, 0, 1},
    {u"PresentTime", &TrialRec::PresentTime, 1, 32767},
}};

// The entry of PlanFields for member, found while compiling.
consteval const PlanField &planField(qint16 TrialRec::*member) {
    for (const PlanField &f : PlanFields)
        if (f.member == member)
            return f;
    throw "not a plan field";
}

// The statistics keep room for six presentation times; a seventh would fail only after a whole
// run has been answered, so a plan with a seventh is refused.
constexpr int MaxPresentTimes = 6;

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
