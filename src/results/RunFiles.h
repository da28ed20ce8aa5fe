#pragma once

#include "run/TrialRec.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <variant>
#include <vector>

namespace kivora {

// Reading back the per-run data files that --data writes, for the report.
//
// A data file is UTF-8 CSV (RFC 4180 quoting, CR LF or LF line ends, an optional byte order
// mark) with a header row naming its columns. Columns are picked by name: the eleven written
// since the first version (subject, run_started, trial, FigSet, StartDir, CueDir, Mirror,
// PresentTime, Answer, correct, RT) must all be there; the display's columns (late_flips,
// onset_source, period_us, compositor, fullscreen) and the study's (block, round: practice rows,
// counted apart and numbered from 1 in each round) are read where they are; any other column
// (RT_us, cue_us, order_seed, and those later versions add) is passed over. A column named twice
// makes the file unreadable. Every row must belong to the same run (subject and run_started as
// in the first row), number its trial one more than the row before (from 1), hold plan values
// the program accepts, Answer 0 or 1, correct equal to (Answer = Mirror), and an integer RT; a
// display column's value is empty or one the program writes.

// One run read from its data file.
struct RunFile {
    QString fileName; // the file's name in its folder
    QString subject;  // as written in the file
    QString runStarted;
    bool complete = false; // its _means.csv lies beside it: the run ended with its last answer
    std::vector<TrialRec> trials;
    // The late flips of its trials added up; nothing where the file does not say them.
    std::optional<int> lateFlips;
    // Whether every trial's onsets were exact (onsetsExact of its onset_source and compositor):
    // false when one was not, nothing where a trial does not say.
    std::optional<bool> onsetsExact;
    // The practice rows (block "practice"), counted apart from the trials above: all rounds'
    // trials, their correct answers, the rounds.
    int practiceTrials = 0;
    int practiceCorrect = 0;
    int practiceRounds = 0;
};

// A file of the folder that gives no run, and why: "FILE:LINE: reason", or "FILE: reason"
// when the reason is not on one line.
struct SkippedFile {
    QString fileName;
    int line = 0;
    QString reason;
    QString detail(const QString &shownName) const;
};

// The run in content (a data file's bytes, named fileName), or why it is not one.
std::variant<RunFile, SkippedFile> readRunFile(const QByteArray &content, const QString &fileName);

// Every regular file at the top level of folder, in order of file name: the runs, and the files
// skipped. A <stem>_means.csv file is not skipped but counted: it marks <stem>.csv complete.
struct RunFolder {
    std::vector<RunFile> runs;
    std::vector<SkippedFile> skipped;
    int meansFiles = 0;
};
RunFolder readRunFolder(const QString &folder);

} // namespace kivora
