#pragma once

#include "results/Report.h"

class QIODevice;

namespace kivora {

// report.pdf, A4 portrait. Page 1: the group chart (mean correct RT ± SE of the complete runs
// against disparity, a line per presentation time, in the results chart's look), the table of
// slopes with their t tests, the number of runs, the exclusion rules with their counts, and the
// files skipped and runs left out; the text goes on over further pages when it does not fit.
// Then one small chart per complete run (name, accuracy), six to a page.
//
// The charts are widgets: a QApplication must exist (any platform, offscreen will do). Returns
// false when the device could not be written.
bool writeReportPdf(const Report &report, QIODevice *device);

} // namespace kivora
