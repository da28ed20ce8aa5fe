#pragma once

// The data-file reader's promises for any input, and its corpus in tests/fuzz/corpus-datafile/: a
// data file of every version the program wrote, and files saved again by Excel. The fuzz target
// (tests/fuzz/fuzz_datafile.cpp) checks the promises on the inputs it makes from the corpus; the
// report's tests check them on every corpus file. Files are named for what the reader does with
// them: valid-* give a run, bad-* are skipped.

#include "results/RunFiles.h"
#include "results/SessionData.h"
#include "support/Corpus.h"
#include "support/PlanCorpus.h"

namespace datafiles {

inline QStringList corpusFiles() {
    return corpus::files(u"corpus-datafile"_qs);
}

inline QByteArray corpusFile(const QString &name) {
    return corpus::file(u"corpus-datafile"_qs, name);
}

// Whatever the bytes, the reader either gives a run of at most 144 trials that a plan can hold,
// whose names carry no replacement character the file did not hold, or skips the file saying why,
// at a line the input has; as the report reads and as a view of a folder being written reads
// (a last record without its line end left out). Returns the promise broken, or an empty string.
inline QString brokenPromise(const QByteArray &content, kivora::UnendedRecord unended) {
    using namespace kivora;
    const auto read = readRunFile(content, u"fuzz.csv"_qs, unended);
    if (const auto *skipped = std::get_if<SkippedFile>(&read)) {
        if (skipped->reason.isEmpty())
            return u"skipped without saying why"_qs;
        if (skipped->line < 0 || skipped->line > plans::lineCount(content))
            return u"skipped at line %1 of %2"_qs.arg(skipped->line).arg(plans::lineCount(content));
        return {};
    }
    const RunFile &run = std::get<RunFile>(read);
    if (run.trials.size() > std::size_t(MaxTrials))
        return u"%1 trials read"_qs.arg(run.trials.size());
    for (const TrialRec &r : run.trials)
        if (r.FigSet < 1 || r.FigSet > 4 || r.StartDir < 0 || r.StartDir > 5 || r.CueDir < 0 ||
            r.CueDir > 5 || (r.Mirror != 0 && r.Mirror != 1) || (r.Answer != 0 && r.Answer != 1) ||
            r.PresentTime < 1)
            return u"a trial read with a value out of range"_qs;
    if (run.practiceRounds < 0 || run.practiceRounds > MaxPracticeRounds ||
        run.practiceCorrect > run.practiceTrials)
        return u"practice counted wrong"_qs;
    // U+FFFD in UTF-8, where the file itself holds it.
    const QString replacement(QChar::ReplacementCharacter);
    if ((run.subject.contains(replacement) || run.runStarted.contains(replacement)) &&
        !content.contains("\xEF\xBF\xBD"))
        return u"a replacement character in the name"_qs;
    return {};
}

inline QString brokenPromise(const QByteArray &content) {
    for (const auto unended : {kivora::UnendedRecord::Read, kivora::UnendedRecord::LeftOut})
        if (const QString broken = brokenPromise(content, unended); !broken.isEmpty())
            return broken;
    return {};
}

} // namespace datafiles
