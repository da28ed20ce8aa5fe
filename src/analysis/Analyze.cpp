#include "analysis/Analyze.h"

namespace kivora {

namespace {

// One more trial into a cell: the mean is recomputed from the updated integer sums, so it never
// drifts the way an incrementally corrected mean would.
void countInto(StatCell &cell, qint32 rt) {
    cell.Count = add16(cell.Count, 1);
    cell.Total = add32(cell.Total, rt);
    cell.Mean = double(cell.Total) / double(cell.Count);
}

} // namespace

void Analyze(const TrialTable &trials, qint16 trialCount, RunStats &stats) {
    stats.TimeCount = 0;
    stats.CorrectCount = 0;
    for (int j = 0; j < StatTableT::size(); ++j)
        stats.StatTable[j].fill(StatCell{});
    // TimeList keeps its old entries: only the first TimeCount of them are ever read.

    for (int i = 1; i <= trialCount; ++i) {
        const TrialRec &trial = trials[i]; // record 145 and beyond: error 9
        const qint32 rt = trial.RT;

        countInto(stats.StatTable[0][0], rt);

        int timeNumber = 0;
        for (int n = 1; n <= stats.TimeCount; ++n) {
            if (stats.TimeList[n] == trial.PresentTime) {
                timeNumber = n;
                break;
            }
        }

        if (timeNumber != 0) {
            countInto(stats.StatTable[timeNumber][trial.CueDir], rt);
        } else {
            // A new presentation time. A seventh one finds TimeCount already raised to 7 when
            // TimeList(7) refuses it; the error ends the run's analysis there.
            stats.TimeCount = add16(stats.TimeCount, 1);
            timeNumber = stats.TimeCount;
            stats.TimeList[timeNumber] = trial.PresentTime;
            stats.StatTable[timeNumber][trial.CueDir] = StatCell{1, rt, double(rt)};
        }

        if (trial.Mirror == trial.Answer)
            stats.CorrectCount = add16(stats.CorrectCount, 1);
    }
}

} // namespace kivora
