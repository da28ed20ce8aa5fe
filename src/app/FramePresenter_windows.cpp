// The Windows side of the presenter in step with the display's refresh: there is none. Windows
// composes every window on the desktop compositor, which shows a window's new picture at its
// next refresh and tells the program no more about that moment than a flush of the drawing.
#include "app/FramePresenter.h"

namespace kivora {

std::unique_ptr<Presenter> makeFramePresenter(PictureBox *, QString *why) {
    *why = u"Windows offers no presentation at a chosen refresh to a windowed program"_qs;
    return nullptr;
}

} // namespace kivora
