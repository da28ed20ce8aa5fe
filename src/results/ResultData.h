#pragma once

#include "analysis/StatCell.h"

#include <QString>

namespace kivora {

class DataSheet;

// Writes the statistics into the chart's sheet, cell by cell, in this order:
//   1. categories (1, 2..8) = 0, 60, ..., 360 degrees, as numbers;
//   2. series labels (j + 1, 1) = seriesName(TimeList(j)) for j = 1..TimeCount;
//   3. per series j: values (j + 1, 2..7) = Mean of cells (j, 0..5), then (j + 1, 8) = Mean of
//      (j, 0) again, so the 360-degree point closes the circle at the 0-degree value.
// Nothing else is written: the sheet is not cleared first, so with TimeCount 0 whatever label
// the sheet held in (2, 1) stays. A TimeCount above 6 raises the subscript error (9) at TimeList(7).
void fillDataSheet(DataSheet &sheet, const RunStats &stats);

// The label of a presentation time's line in a chart: "呈示 " + presentTime + "mS" (in English
// "Cue 1200 ms").
QString seriesName(qint16 presentTime);

// To the nearest whole number, halves to the even neighbour: 734.5 -> 734, 735.5 -> 736,
// -734.5 -> -734. A value that is not finite or does not fit 64 bits is an overflow error (6).
qint64 roundHalfEven(double value);

// The two-line summary of the results window, e.g. for 40 of 48 correct and a mean of 734.5 ms:
//     "正解数： 40 (48問中)" CR LF "全平均反応時間： 734ミリ秒"
// without a line end after the second line; in English "Correct: 40 of 48" CR LF "Mean reaction
// time: 734 ms".
QString summaryText(qint16 correctCount, qint16 trialCount, double overallMean);

} // namespace kivora
