#include "session/FlipFigures.h"

#include "base/LineFit.h"

#include <algorithm>
#include <cmath>

namespace kivora {

FlipFigures flipFigures(const std::vector<Onset> &onsets, int framesPerFlip) {
    FlipFigures f;
    f.flips = int(onsets.size());
    f.counted = !onsets.empty() &&
                std::all_of(onsets.begin(), onsets.end(), [](const Onset &o) { return o.msc >= 0; });
    for (std::size_t i = 0; i < onsets.size(); ++i) {
        f.late += onsets[i].late() ? 1 : 0;
        if (f.counted && i > 0 && onsets[i].msc - onsets[i - 1].msc != framesPerFlip)
            ++f.miscounted;
    }
    if (!f.counted || onsets.size() < 2)
        return f;
    std::vector<double> msc, us;
    for (const Onset &o : onsets) {
        msc.push_back(double(o.msc));
        us.push_back(double(o.us));
    }
    const LineFit line = fitLine(msc, us);
    f.periodUs = line.slope;
    double squares = 0;
    for (std::size_t i = 0; i < onsets.size(); ++i) {
        const double residual = us[i] - (line.intercept + line.slope * msc[i]);
        squares += residual * residual;
    }
    f.jitterUs = std::sqrt(squares / double(onsets.size() - 1));
    return f;
}

} // namespace kivora
