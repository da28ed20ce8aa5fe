#pragma once

#include "base/DisplayFacts.h"
#include "run/Stage.h"

#include <QCoreApplication>
#include <QObject>
#include <QString>
#include <functional>
#include <initializer_list>
#include <stdexcept>

class QImage;

namespace kivora {

// The moment a screen came on screen.
struct Onset {
    qint64 us = 0;         // clock reading (µs), the clock the reaction times are measured with
    qint64 msc = -1;       // the display's refresh count at that moment; -1 where there is none
    qint64 targetMsc = -1; // the refresh it was due at; -1 when due as soon as possible
    // Came on screen after the refresh it was due at: a refresh was missed.
    bool late() const { return targetMsc >= 0 && msc > targetMsc; }
};

// The display cannot be used the way a presenter needs it (no X Present extension, a window
// format it cannot fill, no refresh reported in time): no fault of the program's own, so it is
// told as what the display did rather than as a numbered run-time error.
class DisplayError : public std::runtime_error {
public:
    explicit DisplayError(const QString &detail)
        : std::runtime_error(detail.toStdString()), m_detail(detail) {}
    const QString &detail() const { return m_detail; }
    // The error box's text: that the display failed, then how.
    QString text() const {
        return QCoreApplication::translate("Presenter", "画面に表示できません。\n\n") + m_detail;
    }

private:
    QString m_detail;
};

// How a run's pictures reach the screen, and when they were there. The run shows each screen
// through show() and learns its onset from shown(): at once where the presenter paints
// synchronously, one refresh or more later where it waits for the display.
class Presenter : public QObject {
    Q_OBJECT
public:
    // Brings picture (nullptr: an empty picture area) to the screen `frames` refreshes after the
    // previous screen came on screen (0: as soon as possible). withPicture runs at the moment the
    // picture goes on screen, for what the window changes with it (its picture control's
    // picture, the caption under it): never before the picture, so that the question never
    // comes before the figure. Then shown() is emitted with the onset.
    virtual void show(Stage stage, const QImage *picture, int frames, std::function<void()> withPicture) = 0;
    // Readies pictures about to be shown, off the timed path, and forgets earlier ones.
    virtual void prepare(std::initializer_list<const QImage *> pictures) = 0;
    // Returns once everything shown is on screen, its shown() emitted.
    virtual void finish() {}

    // How many refreshes a screen meant to last intervalMs stays; 0 where refreshes are not
    // counted (the screen then lasts the interval itself).
    virtual int framesFor(qint32 intervalMs) const = 0;
    // How long before a screen meant to last intervalMs ends its stage timer must fire so that
    // the next screen comes on screen when it is due (negative: after the interval).
    virtual qint64 leadUs(Stage next, qint32 intervalMs) const = 0;

    // The window went to another monitor (the one it was on went away): returns whether the
    // presenter measures the display again, after which it emits ready() once more.
    virtual bool displayMoved() { return false; }

    // Whether the presenter knows the display well enough to run a trial; a run waits for it.
    virtual bool isReady() const { return true; }
    virtual void waitUntilReady() {}
    // The display as of now: the compositor is asked afresh at every call (a dialog or another
    // window can make a compositor redirect the window again), so it is called off the timed path.
    virtual DisplayInfo displayInfo() const = 0;

signals:
    void shown(kivora::Stage stage, kivora::Onset onset);
    // The presenter has become ready (it may take a moment after the window is shown).
    void ready();
};

// The refresh arithmetic of a presenter in step with a display that refreshes every periodUs:
// the refreshes a screen meant to last intervalMs stays (the nearest whole number, at least one;
// one where the period is unknown), and how long before intervalMs ends the stage's handler runs
// (two refreshes, 8 to 40 ms, before the next screen is due, so that its picture is with the
// display in time even on a busy machine).
int refreshesFor(qint32 intervalMs, qint64 periodUs);
qint64 refreshLeadUs(qint32 intervalMs, qint64 periodUs);

} // namespace kivora
