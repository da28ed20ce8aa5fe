#pragma once

#include "ui/FramePresenter.h"

#include <optional>

class QScreen;

namespace kivora {

class TriggerSender;

// --check-display: a check of the display and keyboard a lab can run on its own PC. Shows the
// picture area for about ten seconds of flips between a white and a black picture (each meant
// to stay six refreshes at 60 Hz, 100 ms), then asks for key 1 a few times, and prints: the
// onset source, the refresh period and its jitter, the flips at their planned refresh and the
// late ones, whether a compositor or a display scaling other than 100 % is in the way, the key
// source and, for every key 1, how much earlier its stamp is than the key filter's reading.
// timing: what --timing asks for (nothing: as a session picks); screen and fullscreen: the
// monitor and the way a session shows its window (--screen, --fullscreen). With triggers
// (--trigger), a code 255 goes out at each flip's onset, as a session's codes do, and the lags of
// the codes are printed (median, 99th percentile) for a lab to compare with what its recorder
// saw. Returns 0 when the onsets are exact (the display's own flip times, nothing composing the
// window, every flip at its planned refresh) and every trigger code went out, 1 otherwise.
// Needs a QApplication.
int checkDisplayCommand(std::optional<Timing> timing, QScreen *screen, bool fullscreen,
                        TriggerSender *triggers = nullptr);

} // namespace kivora
