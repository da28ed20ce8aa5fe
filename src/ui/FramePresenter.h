#pragma once

#include "session/Presenter.h"

#include <QString>
#include <memory>

namespace kivora {

class PictureBox;

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
