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

} // namespace kivora
