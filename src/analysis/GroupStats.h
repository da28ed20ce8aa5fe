#pragma once

#include "base/LineFit.h"
#include "run/TrialRec.h"

#include <array>
#include <limits>
#include <vector>

namespace kivora {

inline constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// The statistics of the report over many runs: per run, its cells, its accuracy and, per
// presentation time, the line of mean correct RT against angular disparity; over the complete
// runs, the group's mean per presentation time and disparity and a one-sample t test of the
// slopes against 0. A value that is not defined (a mean of nothing, an SD of one value, a slope
// from one disparity) is NaN.

// The test figure's orientation, in degrees clockwise from upright: ((StartDir + CueDir) mod 6)
// × 60. Its angular disparity from upright is min(orientation, 360 − orientation): 0, 60, 120 or
// 180.
int orientationDeg(const TrialRec &trial);
int disparityDeg(const TrialRec &trial);
constexpr std::array<int, 4> Disparities{0, 60, 120, 180};

// Reaction times outside minRt..maxRt (ms, both kept) are anticipations or lapses and enter no
// RT statistic; neither does the RT of an error.
struct RtLimits {
    qint32 minRt = 150;
    qint32 maxRt = 10000;
};

// Count, mean, median and sample SD (n − 1) of some values.
struct Summary {
    int n = 0;
    double mean = NaN;
    double median = NaN;
    double sd = NaN;
};
Summary summarize(std::vector<double> values);

// Mean, SD, SE and the 95 % confidence interval of the mean (mean ± t(0.975, n − 1) · SE) of
// values from different runs; with a one-sample t test of the mean against 0 (two-sided p).
// SD needs two values; t and p also need an SD above 0.
struct GroupSummary {
    int n = 0;
    double mean = NaN;
    double sd = NaN;
    double se = NaN;
    double ciLow = NaN;
    double ciHigh = NaN;
    double t = NaN;
    int df = 0;
    double p = NaN;
};
GroupSummary summarizeGroup(const std::vector<double> &values);

// One cell of a run: the trials of one presentation time, disparity and mirror code.
struct RunCell {
    qint16 presentTime = 0;
    int disparity = 0;
    qint16 mirror = 0;
    int trials = 0;  // answered
    int correct = 0; // answered correctly
    Summary rt;      // RTs of the correct answers inside the RT limits
};

// One presentation time of a run: the mean correct RT per disparity (index as in Disparities,
// as-it-was and mirrored trials together) and the line through those means.
struct RunLine {
    qint16 presentTime = 0;
    std::array<double, 4> meanRt{NaN, NaN, NaN, NaN};
    LineFit fit;
};

struct RunSummary {
    int trials = 0;
    int correct = 0;
    int tooFast = 0; // correct answers below minRt
    int tooSlow = 0; // correct answers above maxRt
    int excluded() const { return tooFast + tooSlow; }
    std::vector<RunCell> cells; // by presentation time, disparity, mirror code
    std::vector<RunLine> lines; // by presentation time, ascending
    // The line of presentationTime; nothing where the run has none.
    const RunLine *lineAt(qint16 presentTime) const;
};
RunSummary summarizeRun(const std::vector<TrialRec> &trials, const RtLimits &limits);

// The group over the runs given (the complete ones), per presentation time (ascending, every time
// that any of them has): per disparity the mean of the runs' means, and the slopes' mean and test.
// n counts the runs that have the value.
struct GroupLine {
    qint16 presentTime = 0;
    std::array<GroupSummary, 4> meanRt;
    GroupSummary slope;
};
std::vector<GroupLine> summarizeGroup(const std::vector<const RunSummary *> &runs);

} // namespace kivora
