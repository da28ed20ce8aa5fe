#include "results/ResultData.h"

#include "base/RuntimeError.h"
#include "results/DataSheet.h"

#include <QCoreApplication>

#include <cmath>

namespace kivora {

namespace {
// Number of directions around the circle; the chart's categories step by 360 / 6 degrees.
constexpr int Directions = 6;
} // namespace

QString seriesName(qint16 presentTime) {
    return QCoreApplication::translate("ResultData", "呈示 %1mS").arg(presentTime);
}

void fillDataSheet(DataSheet &sheet, const RunStats &stats) {
    for (int i = 0; i <= Directions; ++i)
        sheet.cells(1, i + 2) = double(i * 360) / double(Directions);

    for (int j = 1; j <= stats.TimeCount; ++j)
        sheet.cells(j + 1, 1) = seriesName(stats.TimeList[j]);

    for (int j = 1; j <= stats.TimeCount; ++j) {
        for (int k = 0; k < Directions; ++k)
            sheet.cells(j + 1, k + 2) = stats.StatTable[j][k].Mean;
        sheet.cells(j + 1, Directions + 2) = stats.StatTable[j][0].Mean;
    }
}

qint64 roundHalfEven(double value) {
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    constexpr double Limit = 9223372036854775808.0;
    if (!std::isfinite(value) || value >= Limit || value < -Limit)
        throw RuntimeError(ErrOverflow, QString::number(value, 'g', 17));
    const double below = std::floor(value);
    const double fraction = value - below; // exact for doubles of this size
    double rounded = below;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0.0))
        rounded = below + 1.0;
    if (rounded >= Limit)
        throw RuntimeError(ErrOverflow, QString::number(value, 'g', 17));
    return static_cast<qint64>(rounded);
}

QString summaryText(qint16 correctCount, qint16 trialCount, double overallMean) {
    return QCoreApplication::translate("ResultData", "正解数： %1 (%2問中)")
               .arg(correctCount)
               .arg(trialCount) +
           u"\r\n"_qs +
           QCoreApplication::translate("ResultData", "全平均反応時間： %1ミリ秒")
               .arg(roundHalfEven(overallMean));
}

} // namespace kivora
