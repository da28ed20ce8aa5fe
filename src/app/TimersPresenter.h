#pragma once

#include "base/RecentMedian.h"

#include <QObject>
#include <QString>
#include <initializer_list>
#include <memory>
#include <optional>

class QImage;
class QLabel;
class QWidget;

namespace kivora {

class Clock;
class PictureBox;

// The screens of a trial, told apart for what the presenter learns about each; Other is every
// screen between runs (the instruction and please-wait pictures).
enum class Screen { Countdown, First, Cue, Test, Other };

// The moment a screen came on screen.
struct Onset {
    qint64 us = 0;         // clock reading (µs), the clock the reaction times are measured with
    qint64 msc = -1;       // the display's refresh count at that moment; -1 where there is none
    qint64 targetMsc = -1; // the refresh it was due at; -1 when due as soon as possible
    // Came on screen after the refresh it was due at: a refresh was missed.
    bool late() const { return targetMsc >= 0 && msc > targetMsc; }
};

// What the display offers, for the start-up log line.
struct DisplayInfo {
    QString mode;        // "present" or "timers"
    qint64 periodUs = 0; // the measured refresh period; 0 where none was measured
    QString compositor;  // "yes" (a compositing manager redirects the window), "no" or "unknown"
    quint32 window = 0;  // the native window the pictures are presented in; 0 where none
};

// How the main window's pictures and their caption reach the screen, and when they were there.
// The trial cycle shows each screen through show() and learns its onset from shown(): at once
// where the presenter paints synchronously, one refresh or more later where it waits for the
// display.
class Presenter : public QObject {
    Q_OBJECT
public:
    Presenter(PictureBox *image, QLabel *caption) : m_image(image), m_caption(caption) {}

    // Puts picture (nullptr: none) into the picture control, and caption (if given) into the
    // caption label, `frames` refreshes after the previous screen came on screen (0: as soon as
    // possible), and emits shown() once both are on screen.
    virtual void show(Screen screen, const QImage *picture, const std::optional<QString> &caption,
                      int frames) = 0;
    // Readies pictures about to be shown, off the timed path, and forgets earlier ones.
    virtual void prepare(std::initializer_list<const QImage *> pictures) = 0;
    // Returns once everything shown is on screen, its shown() emitted.
    virtual void finish() {}

    // How many refreshes a screen meant to last intervalMs stays; 0 where refreshes are not
    // counted (the screen then lasts the interval itself).
    virtual int framesFor(qint32 intervalMs) const = 0;
    // How long before a screen meant to last intervalMs ends its stage timer must fire so that
    // the next screen comes on screen when it is due (negative: after the interval).
    virtual qint64 leadUs(Screen next, qint32 intervalMs) const = 0;

    // Whether the presenter knows the display well enough to run a trial; a run waits for it.
    virtual bool isReady() const { return true; }
    virtual void waitUntilReady() {}
    virtual DisplayInfo displayInfo() const = 0;

signals:
    void shown(kivora::Screen screen, kivora::Onset onset);
    // The presenter has become ready (it may take a moment after the window is shown).
    void ready();

protected:
    PictureBox *m_image;
    QLabel *m_caption;
};

// The refresh arithmetic of a presenter in step with a display that refreshes every periodUs:
// the refreshes a screen meant to last intervalMs stays (the nearest whole number, at least one;
// one where the period is unknown), and how long before intervalMs ends the stage's handler runs
// (two refreshes, 8 to 40 ms, before the next screen is due, so that its picture is with the
// display in time even on a busy machine).
int refreshesFor(qint32 intervalMs, qint64 periodUs);
qint64 refreshLeadUs(qint32 intervalMs, qint64 periodUs);

// A presenter in step with the display's refresh for the picture control image and its caption
// label, or nothing (and in why, the reason) where the display offers none: on X11 through the
// Present extension (PresentPresenter); elsewhere there is none, and the TimersPresenter stays.
std::unique_ptr<Presenter> makeFramePresenter(PictureBox *image, QLabel *caption, QString *why);

// Paints the picture and the caption at once and waits until the window system has them: the
// screen counts as shown when the repaint has reached it, a moment that may lie anywhere within
// the display's next refresh. Stage timers fire early by the time the next screen took to paint
// in recent trials.
class TimersPresenter final : public Presenter {
    Q_OBJECT
public:
    TimersPresenter(QWidget *window, PictureBox *image, QLabel *caption, const Clock &clock);

    void show(Screen screen, const QImage *picture, const std::optional<QString> &caption,
              int frames) override;
    void prepare(std::initializer_list<const QImage *> pictures) override;
    int framesFor(qint32) const override { return 0; }
    qint64 leadUs(Screen next, qint32 intervalMs) const override;
    DisplayInfo displayInfo() const override;

private:
    QWidget *m_window;
    const Clock &m_clock;
    RecentMedian m_paintUs[int(Screen::Other) + 1]; // how long each screen takes to paint
};

} // namespace kivora
