#pragma once

#include "analysis/GroupStats.h"
#include "results/RunFiles.h"
#include "results/SessionData.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace kivora {

// The report over a folder of data files: every run read with its statistics, the files skipped,
// and the group of the complete runs. The three CSV files are written from it, and report.pdf is
// drawn from it.
struct ReportRun {
    RunFile file;
    RunSummary summary;
};

struct Report {
    QString folder;
    RtLimits limits;
    std::vector<ReportRun> runs; // in order of file name
    std::vector<SkippedFile> skipped;
    int meansFiles = 0;
    std::vector<qint16> times;    // every presentation time of the runs read, ascending
    std::vector<GroupLine> group; // complete runs only

    // What the group leaves out, counted over the complete runs' answered trials, and the
    // incomplete runs with their trials.
    struct Exclusions {
        int trials = 0;
        int errors = 0;
        int tooFast = 0;
        int tooSlow = 0;
        int incompleteRuns = 0;
        int incompleteTrials = 0;
    };
    Exclusions exclusions() const;
    int completeRuns() const;
    // The files of the runs read as code page 932 (RunFile::encoding), in order of file name: their
    // names were decoded by a guess that a file in yet another code page may pass, so the report
    // names them.
    QStringList readAsCp932() const;
};

Report makeReport(const QString &folder, RunFolder read, const RtLimits &limits);

// The three tables, CR LF line ends, UTF-8, a header row; an undefined number is an empty cell
// (csvNumber). writeReportCsv puts Utf8Bom before each.
//   cells.csv: subject,run_started,file,PresentTime,disparity,Mirror,trials,correct,mean_rt,
//              median_rt,sd_rt — a row per run × presentation time × disparity × mirror code
//              that has trials.
//   runs.csv:  subject,run_started,file,trials,complete,correct,accuracy,excluded,late_flips,
//              onsets_exact (empty where the data file does not say), practice_trials,
//              practice_correct, practice_rounds (the practice rows, kept out of every statistic), then
//              slope_<T>,intercept_<T>,r2_<T> for each presentation time T of Report::times.
//   group.csv: measure,PresentTime,disparity,n,mean,sd,se,ci_low,ci_high,t,df,p — measure "rt"
//              (ms) per presentation time × disparity, measure "slope" (ms per degree) per
//              presentation time with the t test against 0.
QByteArray cellsCsv(const Report &report);
QByteArray runsCsv(const Report &report);
QByteArray groupCsv(const Report &report);

// Writes cells.csv, runs.csv and group.csv into folder (created if missing), each starting with
// Utf8Bom and replaced whole or not at all. Throws RuntimeError naming the file that could not be written.
void writeReportCsv(const Report &report, const QString &folder);

} // namespace kivora
