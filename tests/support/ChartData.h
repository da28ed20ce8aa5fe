#pragma once

// The results chart in the tests of the results window and of the chart itself: a run's
// statistics as the chart's lines (per presentation time its TimeList entry and the mean reaction
// times of cue directions 0..5) with the statistics Analyze would leave for them, the lines a
// chart control draws, and a font as text for comparing.

#include "analysis/StatCell.h"
#include "charts/ChartControl.h"

#include <QFont>
#include <QLineSeries>
#include <QList>
#include <QMetaType>
#include <QString>

#include <array>

namespace charts {

struct TimeLine {
    qint16 time;
    std::array<double, 6> means; // ms, of cue directions 0..5
};
using TimeLines = QList<TimeLine>;

// Three times in the plan's order, not sorted, with a mean that is no whole number and a 0.
inline const TimeLines ThreeTimes{{800, {601, 602, 603, 604, 605, 606}},
                                  {400, {1000.0 / 3.0, 402, 403, 404, 405, 406}},
                                  {1200, {900, 0, 903, 904, 905, 906}}};

// The statistics of these lines, one trial a cell; the counts and the overall cell stay zero.
inline kivora::RunStats statsOf(const TimeLines &lines) {
    kivora::RunStats stats;
    stats.TimeCount = qint16(lines.size());
    for (int j = 1; j <= lines.size(); ++j) {
        stats.TimeList[j] = lines[j - 1].time;
        for (int k = 0; k < 6; ++k)
            stats.StatTable[j][k] = kivora::StatCell{1, qint32(lines[j - 1].means[k]), lines[j - 1].means[k]};
    }
    return stats;
}

// The lines a chart control draws, in its series' order.
inline QList<QLineSeries *> linesOf(kivora::ChartControl &chart) {
    QList<QLineSeries *> lines;
    for (QAbstractSeries *s : chart.chart()->series())
        lines << qobject_cast<QLineSeries *>(s);
    return lines;
}

// Family, size and weight, as one text that QCOMPARE prints whole.
inline QString fontText(const QFont &f) {
    return u"%1 %2pt%3"_qs.arg(f.family()).arg(f.pointSizeF()).arg(f.bold() ? u" bold"_qs : QString());
}

} // namespace charts

Q_DECLARE_METATYPE(charts::TimeLines)
