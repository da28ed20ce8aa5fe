#pragma once

#include "session/Presenter.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace kivora {

class PictureBox;

// What --timing (or the settings' timing) asks for: in step with the display's refresh
// ("present"), painted when the stage timers fire ("timers"), or a DXGI swap chain ("flip",
// Windows). Not given: present where the display offers it, else timers.
enum class Timing { Present, Timers, Flip };
// The words, in the order of Timing.
const QStringList &timingWords();

// The presenter in step with the display's refresh that a session or the display check shows
// its pictures with, as timing asks; none where the pictures are painted when the timers fire.
struct PresenterChoice {
    std::unique_ptr<Presenter> presenter;
    QString why;          // where there is none although one was wanted: why
    bool refused = false; // --timing present on a display without it: the program stops
};
// Where --timing flip cannot be had, one line on standard error says so and the choice goes on
// as without it.
PresenterChoice choosePresenter(std::optional<Timing> timing, PictureBox *image);

// A presenter in step with the display's refresh for the picture control image, or nothing (and
// in why, the reason) where the display offers none: on X11 through the Present extension
// (FramePresenter_linux.cpp); on Windows there is none (FramePresenter_windows.cpp), and the
// TimersPresenter stays. Throws nothing: a display that cannot be used is a reason.
std::unique_ptr<Presenter> makeFramePresenter(PictureBox *image, QString *why);

// --timing flip: the picture area as a native child window with a DXGI flip-model swap chain
// (Windows only), each picture presented at its target refresh and its onset taken from the swap
// chain's frame statistics; where the statistics are missing or stay disjoint for more than a
// second once the window is shown, the onsets are estimated from the compositor's grid instead,
// with one line on standard error. Nothing (and in why, the reason) where the swap chain cannot
// be made: the caller falls back on makeFramePresenter.
std::unique_ptr<Presenter> makeFlipPresenter(PictureBox *image, QString *why);

} // namespace kivora
