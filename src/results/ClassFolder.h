#pragma once

#include "results/Report.h"
#include "results/RunFiles.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace kivora {

// A class's data folder followed while its runs are written into it, for a view on a projector.
// Each rescan lists the folder and reads again only the data files whose size or time changed
// since the last listing; a file is read as the report reads it (readRunEntry), except that a
// last row without its line end is left out (UnendedRecord::LeftOut). Listing and reading may
// wait on a network folder: call it off the window's thread.
//
// The runs are numbered once: the files present at the first listing in order of their names,
// later ones in order of arrival (within one listing by name). A file that goes away leaves the
// table, and its number is not given again. While the folder cannot be listed (gone, unreadable)
// everything read stays as it was, and the state says since when.

// How long after its last change an incomplete run counts as being written.
inline constexpr qint64 WritingSeconds = 60;

struct ClassRow {
    int number = 0;
    QString fileName;
    int run = -1;         // its index in ClassState::report.runs; -1: the file is not readable
    SkippedFile skipped;  // why, where run is -1
    bool writing = false; // an incomplete run whose file changed in the last WritingSeconds
};

struct ClassState {
    Report report;              // the runs read, in the rows' order, with the group of the complete ones
    std::vector<ClassRow> rows; // by number
    int complete = 0;
    int incomplete = 0;
    int writing = 0;    // of the incomplete
    int unreadable = 0; // .csv files that are no readable data file
    std::optional<QDateTime> unreachableSince;
};

class ClassFolder {
public:
    // now: the wall clock (local time) a file's changes are dated with.
    ClassFolder(QString folder, RtLimits limits, std::function<QDateTime()> now);

    // Lists the folder and reads the files that changed; true when the state changed (a file
    // came, changed or went, a run completed, a run stopped being written, the folder went away
    // or came back). With nothing changed it costs the listing alone.
    bool rescan();
    ClassState state() const;

    const QString &folder() const { return m_folder; }
    // Data files read so far, first reads and re-reads together.
    int reads() const { return m_reads; }

private:
    struct Known {
        int number = 0;
        qint64 size = -1;
        QDateTime modified;
        QDateTime changedAt;
        std::optional<RunFile> run;
        SkippedFile skipped;
        bool writing = false;
    };

    QString m_folder;
    RtLimits m_limits;
    std::function<QDateTime()> m_now;
    std::map<QString, Known> m_files; // by file name
    int m_nextNumber = 1;
    int m_reads = 0;
    bool m_listed = false; // the folder has been listed at least once
    std::optional<QDateTime> m_unreachableSince;
};

} // namespace kivora
