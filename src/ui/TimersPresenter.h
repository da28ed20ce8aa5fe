#pragma once

#include "base/RecentMedian.h"
#include "session/Presenter.h"

class QWidget;

namespace kivora {

class Clock;
class PictureBox;

// Paints each picture at once and waits until the window system has it: the screen counts as
// shown when the repaint has reached it, a moment that may lie anywhere within the display's
// next refresh. Stage timers fire early by the time the next screen took to paint in recent
// trials.
class TimersPresenter final : public Presenter {
    Q_OBJECT
public:
    // window: the window repainted for every screen; image: its picture control, which readies
    // the pictures about to be shown.
    TimersPresenter(QWidget *window, PictureBox *image, const Clock &clock);

    void show(Stage stage, const QImage *picture, int frames, std::function<void()> withPicture) override;
    void prepare(std::initializer_list<const QImage *> pictures) override;
    int framesFor(qint32) const override { return 0; }
    qint64 leadUs(Stage next, qint32 intervalMs) const override;
    DisplayInfo displayInfo() const override;

private:
    QWidget *m_window;
    PictureBox *m_image;
    const Clock &m_clock;
    RecentMedian m_paintUs[Stage::TrialStages + 1]; // how long each stage (and Between) takes to paint
};

} // namespace kivora
