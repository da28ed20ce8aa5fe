#pragma once

#include "base/TextEncoding.h"
#include "run/TrialRec.h"

#include <QByteArray>
#include <QFileInfoList>
#include <QString>
#include <optional>
#include <variant>
#include <vector>

namespace kivora {

// Reading back the per-run data files that --data writes, for the report.
//
// A data file is UTF-8 CSV (RFC 4180 quoting, CR LF or LF line ends, an optional byte order
// mark) with a header row naming its columns. A file saved again by Excel may come in code page
// 932 without the mark (a Japanese Windows): one that is not UTF-8 is read as CP932 where it is
// that, and said to be (RunFile::encoding); where the header row is separated by ';' and holds no
// ',' (Excel where the decimal mark is a comma), ';' separates the values of the whole file. Columns are
// picked by name: the eleven written since the first version (subject, run_started, trial, FigSet, StartDir,
// CueDir, Mirror, PresentTime, Answer, correct, RT) must all be there; the display's columns (late_flips,
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
    TextEncoding encoding = TextEncoding::Utf8; // what the file was read as
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

// What becomes of a last record that no line end closes. The report reads it as any other row
// (and skips the file when it is not a whole row); a view of a folder that is being written
// leaves it out, as a row its writer has not finished: it is then neither counted nor a reason
// to skip the file.
enum class UnendedRecord { Read, LeftOut };

// The run in content (a data file's bytes, named fileName), or why it is not one.
std::variant<RunFile, SkippedFile> readRunFile(const QByteArray &content, const QString &fileName,
                                               UnendedRecord unended = UnendedRecord::Read);

// The largest data file read: a run of 144 trials with three practice rounds and 4 KB names stays
// far below it. A larger .csv file is skipped without being read.
inline constexpr qint64 MaxDataFileBytes = 16 * 1024 * 1024;

// Every file at the top level of folder, in order of file name: the runs, and the files skipped.
// A <stem>_means.csv file is not skipped but counted: it marks <stem>.csv complete. A .csv entry
// that is not a regular file (a pipe, a socket, a device, a folder) is skipped by its kind and
// never read, one larger than MaxDataFileBytes by its size; other folders are passed over.
struct RunFolder {
    std::vector<RunFile> runs;
    std::vector<SkippedFile> skipped;
    int meansFiles = 0;
};
RunFolder readRunFolder(const QString &folder);

// The parts of readRunFolder, for a view that follows a folder as it is written.
// Every entry at the top level of folder (files, folders, pipes and the like; hidden ones too), in
// order of name.
QFileInfoList runFolderEntries(const QString &folder);
// What an entry of a data folder is: a folder not named .csv is passed over, a <stem>_means.csv
// counted, any other file not named .csv skipped, and a .csv entry read (readRunEntry).
enum class EntryRole { PassedOver, MeansFile, NotCsv, DataFile };
EntryRole entryRole(const QString &name, bool isFolder);
// The means file whose presence marks the run of dataFile complete.
QString meansFileOf(const QString &dataFile);
// The .csv entry at path (named name in its folder) read as readRunFolder reads it, or why not;
// complete is left false.
std::variant<RunFile, SkippedFile> readRunEntry(const QString &path, const QString &name,
                                                UnendedRecord unended = UnendedRecord::Read);

} // namespace kivora
