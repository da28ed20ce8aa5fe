#pragma once

#include "run/TrialRec.h"

namespace kivora {

// Which picture each screen of a trial shows: an image list (0 holds the arrows, 1..4 the letter
// sets F, L, P, R) and a 1-based position in it. Every sum and product is overflow-checked
// (error 6); whether the position exists is for the picture store to say.
struct PictureRef {
    qint16 list;
    qint16 position;
};

// The first figure: the letter as it is, turned StartDir steps of 60 degrees clockwise.
inline PictureRef firstPicture(const TrialRec &rec) {
    return {rec.FigSet, add16(rec.StartDir, 1)};
}

// The arrow cue, pointing CueDir steps of 60 degrees clockwise from straight up.
inline PictureRef cuePicture(const TrialRec &rec) {
    return {0, add16(rec.CueDir, 1)};
}

// The test figure: the letter turned further by the cue, to direction (StartDir + CueDir) mod 6,
// in the mirrored half of the set (positions 7..12) when Mirror is 1. The remainder of a
// negative sum is negative (% truncates), so a bad record asks for a position the set lacks
// rather than for another picture.
inline PictureRef testPicture(const TrialRec &rec) {
    const qint16 s = add16(rec.CueDir, rec.StartDir);
    return {rec.FigSet, add16(add16(qint16(s % 6), mul16(rec.Mirror, 6)), 1)};
}

} // namespace kivora
