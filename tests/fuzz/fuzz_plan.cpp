// libFuzzer target on the plan reader the program uses. Every input must either load a plan the
// run can carry out or be refused with a line that exists in the input.
#include "run/PlanReader.h"

#include <QByteArray>
#include <QSet>
#include <cstdint>
#include <cstdlib>

using namespace kivora;

namespace {
void require(bool ok) {
    if (!ok)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray content = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    TrialTable trials;
    trials[0].RT = 77;
    try {
        const qint16 count = readPlan(content, u"fuzz.csv"_qs, trials);
        require(count >= 0 && count <= MaxTrials);
        QSet<qint16> times;
        for (int i = 1; i <= count; ++i) {
            const TrialRec &r = trials[i];
            require(r.FigSet >= 1 && r.FigSet <= 4 && r.StartDir >= 0 && r.StartDir <= 5 && r.CueDir >= 0 &&
                    r.CueDir <= 5 && (r.Mirror == 0 || r.Mirror == 1) && r.PresentTime >= 1);
            require(r.Answer == 0 && r.RT == 0);
            times.insert(r.PresentTime);
        }
        require(times.size() <= 6);
        require(!planSummary(trials, count).isEmpty());
    } catch (const PlanError &e) {
        // Lines are counted from 1; a refusal never points past the input's last line.
        const int lines = int(content.count('\n') + content.count('\r')) + 1;
        require(e.line() >= 1 && e.line() <= lines);
        require(!e.message().isEmpty() && !e.detail().isEmpty());
    }
    require(trials[0].RT == 77); // record 0 is never written
    return 0;
}
