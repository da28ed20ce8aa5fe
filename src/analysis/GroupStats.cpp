#include "analysis/GroupStats.h"

#include <boost/math/distributions/students_t.hpp>
#include <boost/math/statistics/t_test.hpp>
#include <boost/math/statistics/univariate_statistics.hpp>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace kivora {

namespace {

int disparityIndex(int disparity) {
    return disparity / 60;
}

// Count, mean and sample SD of values, summed in the order they are in; no median.
Summary countMeanSd(const std::vector<double> &values) {
    Summary s;
    s.n = int(values.size());
    if (values.empty())
        return s;
    if (values.size() == 1) {
        s.mean = values.front();
        return s;
    }
    const auto [mean, variance] = boost::math::statistics::mean_and_sample_variance(values);
    s.mean = mean;
    s.sd = std::sqrt(variance);
    return s;
}

} // namespace

int orientationDeg(const TrialRec &trial) {
    return ((trial.StartDir + trial.CueDir) % 6 + 6) % 6 * 60;
}

int disparityDeg(const TrialRec &trial) {
    const int o = orientationDeg(trial);
    return std::min(o, 360 - o);
}

Summary summarize(std::vector<double> values) {
    // The median reorders values; the mean and SD are then summed in that order.
    const double median = values.empty() ? NaN : boost::math::statistics::median(values);
    Summary s = countMeanSd(values);
    s.median = median;
    return s;
}

GroupSummary summarizeGroup(const std::vector<double> &values) {
    const Summary s = countMeanSd(values);
    GroupSummary g;
    g.n = s.n;
    g.mean = s.mean;
    g.sd = s.sd;
    if (g.n < 2)
        return g;
    g.se = g.sd / std::sqrt(double(g.n));
    g.df = g.n - 1;
    const boost::math::students_t_distribution<double> student(g.df);
    const double margin = boost::math::quantile(student, 0.975) * g.se;
    g.ciLow = g.mean - margin;
    g.ciHigh = g.mean + margin;
    // Without spread the statistic is x / 0: no test.
    if (g.sd > 0)
        std::tie(g.t, g.p) = boost::math::statistics::one_sample_t_test(values, 0.0);
    return g;
}

const RunLine *RunSummary::lineAt(qint16 presentTime) const {
    const auto line = std::find_if(lines.begin(), lines.end(),
                                   [presentTime](const RunLine &l) { return l.presentTime == presentTime; });
    return line == lines.end() ? nullptr : &*line;
}

RunSummary summarizeRun(const std::vector<TrialRec> &trials, const RtLimits &limits) {
    RunSummary run;
    run.trials = int(trials.size());
    // RTs that count, by cell, and by presentation time and disparity with both mirror codes.
    std::map<std::tuple<qint16, int, qint16>, RunCell> cells;
    std::map<std::tuple<qint16, int, qint16>, std::vector<double>> cellRts;
    std::map<qint16, std::array<std::vector<double>, 4>> lineRts;
    for (const TrialRec &t : trials) {
        const int disparity = disparityDeg(t);
        const auto key = std::make_tuple(t.PresentTime, disparity, t.Mirror);
        RunCell &cell = cells[key];
        cell.presentTime = t.PresentTime;
        cell.disparity = disparity;
        cell.mirror = t.Mirror;
        ++cell.trials;
        auto &line = lineRts[t.PresentTime];
        if (t.Answer != t.Mirror)
            continue;
        ++run.correct;
        ++cell.correct;
        if (t.RT < limits.minRt) {
            ++run.tooFast;
        } else if (t.RT > limits.maxRt) {
            ++run.tooSlow;
        } else {
            cellRts[key].push_back(t.RT);
            line[std::size_t(disparityIndex(disparity))].push_back(t.RT);
        }
    }
    for (auto &[key, cell] : cells) {
        cell.rt = summarize(cellRts[key]);
        run.cells.push_back(cell);
    }
    for (const auto &[time, byDisparity] : lineRts) {
        RunLine line;
        line.presentTime = time;
        std::vector<double> x;
        std::vector<double> y;
        for (std::size_t d = 0; d < Disparities.size(); ++d) {
            if (byDisparity[d].empty())
                continue;
            line.meanRt[d] = summarize(byDisparity[d]).mean;
            x.push_back(Disparities[d]);
            y.push_back(line.meanRt[d]);
        }
        line.fit = fitLine(x, y);
        run.lines.push_back(line);
    }
    return run;
}

std::vector<GroupLine> summarizeGroup(const std::vector<const RunSummary *> &runs) {
    std::map<qint16, std::pair<std::array<std::vector<double>, 4>, std::vector<double>>> values;
    for (const RunSummary *run : runs) {
        for (const RunLine &line : run->lines) {
            auto &[means, slopes] = values[line.presentTime];
            for (std::size_t d = 0; d < Disparities.size(); ++d)
                if (!std::isnan(line.meanRt[d]))
                    means[d].push_back(line.meanRt[d]);
            if (!std::isnan(line.fit.slope))
                slopes.push_back(line.fit.slope);
        }
    }
    std::vector<GroupLine> group;
    for (const auto &[time, v] : values) {
        GroupLine line;
        line.presentTime = time;
        for (std::size_t d = 0; d < Disparities.size(); ++d)
            line.meanRt[d] = summarizeGroup(v.first[d]);
        line.slope = summarizeGroup(v.second);
        group.push_back(line);
    }
    return group;
}

} // namespace kivora
