#pragma once

#include "run/TrialPictures.h"

#include <QString>
#include <optional>

namespace kivora {

// A screen of the main window's picture area. A trial shows four stages, one after the other:
// the countdown (no picture, "あと N 問"), the first figure, the arrow cue and the test figure
// with its question; each but the test figure ends when its stage timer fires, the test figure
// when it is answered. Between is every screen between runs (the instruction and please-wait
// pictures).
class Stage {
public:
    enum Id : quint8 { Countdown, First, Cue, Test, Between };
    static constexpr int TrialStages = 4; // Countdown .. Test, indexed 0..3

    constexpr Stage(Id id = Between) : m_id(id) {}
    constexpr Id id() const { return m_id; }
    constexpr int index() const { return int(m_id); }
    constexpr bool inTrial() const { return m_id != Between; }
    // Ends by a stage timer: the countdown, the first figure and the cue.
    constexpr bool timed() const { return m_id == Countdown || m_id == First || m_id == Cue; }
    // The stage that follows this one in a trial; Between after the test figure.
    constexpr Stage next() const {
        switch (m_id) {
        case Countdown:
            return First;
        case First:
            return Cue;
        case Cue:
            return Test;
        default:
            return Between;
        }
    }

    // The name the timing log and the recorders know it by: "countdown", "first", "cue", "test"
    // (empty for Between).
    QString name() const;
    // The picture the stage shows for trial rec: none for the countdown and Between.
    std::optional<PictureRef> picture(const TrialRec &rec) const;
    // The caption under the picture, in the language of the texts: for the countdown "あと" left
    // "問" ("1 question left", "12 questions left"; left: the questions still to come, this one
    // included), the question for the test figure, else empty.
    QString caption(qint16 left) const;

    friend constexpr bool operator==(Stage a, Stage b) { return a.m_id == b.m_id; }

private:
    Id m_id;
};

} // namespace kivora
