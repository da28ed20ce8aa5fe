#include "session/TriggerCodes.h"

#include "analysis/GroupStats.h"

#include <stdexcept>

namespace kivora::triggercode {

namespace {
constexpr int TestBase = 100;
constexpr int AnswerBase = 200;
} // namespace

quint8 ofStage(Stage stage, const TrialRec &rec) {
    switch (stage.id()) {
    case Stage::Countdown:
        return 1;
    case Stage::First:
        return 2;
    case Stage::Cue:
        return 3;
    case Stage::Test:
        return quint8(TestBase + 10 * (disparityDeg(rec) / 60) + (rec.Mirror != 0 ? 1 : 0));
    case Stage::Between:
        break;
    }
    throw std::logic_error("only a trial's screens have a trigger code");
}

quint8 ofAnswer(bool correct, int key) {
    return quint8(AnswerBase + 10 * (correct ? 1 : 0) + key);
}

bool isTestFigure(quint8 code) {
    return code >= TestBase && code < AnswerBase;
}

} // namespace kivora::triggercode
