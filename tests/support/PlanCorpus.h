#pragma once

// The plan reader's promises for any input, and the plan corpus in tests/fuzz/corpus/. The fuzz
// target (tests/fuzz/fuzz_plan.cpp) checks the promises on the inputs it makes from the corpus;
// the plan tests check them on every corpus file and take rows of their tables from it.
//
// Corpus files are named for what the reader does with them: bad-* are refused, valid-* load at
// least one trial, empty* load none.

#include "run/PlanReader.h"
#include "support/Corpus.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace plans {

// Every record starts as this, so a write to record 0, to Answer/RT or past the last trial shows.
inline const kivora::TrialRec Sentinel{-7, -7, -7, -7, -7, -9, -99999};

inline kivora::TrialTable sentinelTable() {
    kivora::TrialTable trials;
    trials.fill(Sentinel);
    return trials;
}

// Lines of the input: CR LF, LF and a lone CR each end one; what follows the last line end is a
// line too.
inline int lineCount(const QByteArray &content) {
    return int(1 + content.count('\n') + content.count('\r') - content.count("\r\n"));
}

// Whatever the bytes, the reader either loads at most 144 trials that a run can carry out (every
// field in range, at most six presentation times, a summary) and writes nothing past the last, or
// refuses with one of its own errors at a line the input has, saying what and where. Either way
// it never writes record 0, Answer or RT. Returns the promise broken, or an empty string.
inline QString brokenPromise(const QByteArray &content) {
    using namespace kivora;
    TrialTable trials = sentinelTable();
    try {
        const qint16 count = readPlan(content, u"fuzz.csv"_qs, trials);
        if (count < 0 || count > MaxTrials)
            return u"loaded %1 trials"_qs.arg(count);
        QSet<qint16> times;
        for (int i = 1; i <= count; ++i) {
            const TrialRec &r = trials[i];
            if (r.FigSet < 1 || r.FigSet > 4 || r.StartDir < 0 || r.StartDir > 5 || r.CueDir < 0 ||
                r.CueDir > 5 || (r.Mirror != 0 && r.Mirror != 1) || r.PresentTime < 1)
                return u"trial %1 loaded with a value out of range"_qs.arg(i);
            times.insert(r.PresentTime);
        }
        if (times.size() > 6)
            return u"%1 presentation times loaded"_qs.arg(times.size());
        if (planSummary(trials, count).isEmpty())
            return u"no summary of the loaded plan"_qs;
        for (int i = count + 1; i <= MaxTrials; ++i)
            if (!(trials[i] == Sentinel))
                return u"record %1 written after the last of %2 trials"_qs.arg(i).arg(count);
    } catch (const PlanError &e) {
        static const QList<int> numbers = {ErrOverflow, ErrSubscript, ErrTypeMismatch, ErrInputPastEnd,
                                           ErrInvalidProperty};
        if (!numbers.contains(e.number()))
            return u"refused with error %1"_qs.arg(e.number());
        if (e.line() < 1 || e.line() > lineCount(content))
            return u"refused at line %1 of %2"_qs.arg(e.line()).arg(lineCount(content));
        if (e.message().isEmpty() || e.detail().isEmpty())
            return u"refused without saying why"_qs;
    }
    if (!(trials[0] == Sentinel))
        return u"record 0 written"_qs;
    for (int i = 1; i <= MaxTrials; ++i)
        if (trials[i].Answer != Sentinel.Answer || trials[i].RT != Sentinel.RT)
            return u"Answer or RT of record %1 written"_qs.arg(i);
    return {};
}

inline QStringList corpusFiles() {
    return corpus::files(u"corpus"_qs);
}

// The bytes of a corpus file, by its name.
inline QByteArray corpusFile(const QString &name) {
    return corpus::file(u"corpus"_qs, name);
}

} // namespace plans
