#include "ui/FramePresenter.h"

#include "platform/Console.h"

namespace kivora {

const QStringList &timingWords() {
    static const QStringList words{u"present"_qs, u"timers"_qs, u"flip"_qs};
    return words;
}

PresenterChoice choosePresenter(std::optional<Timing> timing, PictureBox *image) {
    PresenterChoice choice;
    if (timing == Timing::Timers)
        return choice;
    if (timing == Timing::Flip) {
        choice.presenter = makeFlipPresenter(image, &choice.why);
        if (!choice.presenter)
            printErr(u"kivora: --timing flip: %1; the pictures are shown as without it"_qs.arg(choice.why));
    }
    if (!choice.presenter)
        choice.presenter = makeFramePresenter(image, &choice.why);
    choice.refused = !choice.presenter && timing == Timing::Present;
    return choice;
}

} // namespace kivora
