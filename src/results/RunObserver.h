#pragma once

#include "analysis/StatCell.h"
#include "base/DisplayFacts.h"
#include "run/TrialRec.h"

#include <QString>
#include <optional>

namespace kivora {

// The timing of an answer, in microseconds of the clock reaction times are measured with.
struct AnswerTiming {
    int key;      // 1 or 2
    qint64 keyUs; // when the key was pressed: stamped as it arrived, or the key handler's reading
    qint64 rtUs;  // keyUs - the moment the test figure was on screen
    qint64 cueUs; // how long the arrow was on screen: its onset to the test figure's
    // How many of the trial's four screens came at a later refresh than they were due at (0 where
    // the display counts no refreshes), and the display as the trial's countdown found it.
    int lateFlips = 0;
    DisplayInfo display = {};
    // How late the test figure's trigger code left (--trigger): nothing without triggers, or where
    // the port had been lost before it.
    std::optional<qint64> triggerLagUs = {};
};

// What happens in a run, told as it happens, for whoever records it (the per-trial data file,
// the timing log). Times are microseconds of the clock reaction times come from. A recorder may
// throw RuntimeError when it cannot write; the main window then tells the experimenter.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    // With --shuffle, right before runStarted: the seed of the order the run takes its trials in.
    // Not called for a run in the plan's order.
    virtual void runOrdered(quint64 seed) { (void)seed; }
    virtual void runStarted(const QString &subject, qint64 us) = 0;
    // event: "countdown", "first", "cue" or "test"; us: the moment its picture was on screen;
    // msc: the display's refresh count then, -1 where the display gives none.
    virtual void stageShown(const QString &event, qint16 trial, const QString &detail, qint64 us,
                            qint64 msc) = 0;
    // A screen came on screen after the refresh it was due at (msc later than targetMsc).
    virtual void lateFlip(const QString &event, qint16 trial, qint64 targetMsc, qint64 msc, qint64 us) = 0;
    // The trial's record already holds Answer and RT.
    virtual void answered(qint16 trial, const TrialRec &rec, const AnswerTiming &timing) = 0;
    virtual void runStopped(qint64 us) = 0;
    // A round of practice trials begins (round 1..3; seed: its order's seed where runs are
    // shuffled), and ends with correct of its trials answered correctly. The answers between
    // are practice trials, numbered from 1 in their round.
    virtual void practiceStarted([[maybe_unused]] int round, [[maybe_unused]] std::optional<quint64> seed,
                                 [[maybe_unused]] qint64 us) {}
    virtual void practiceEnded([[maybe_unused]] int round, [[maybe_unused]] int correct,
                               [[maybe_unused]] int trials, [[maybe_unused]] qint64 us) {}
    // A break after `done` trials begins, and ends (the participant pressed Space).
    virtual void breakStarted([[maybe_unused]] qint16 done, [[maybe_unused]] qint64 us) {}
    virtual void breakEnded([[maybe_unused]] qint16 done, [[maybe_unused]] qint64 us) {}
    // The display changed since it was last read (at start-up or a trial's countdown): a
    // compositor began or stopped composing the window, the onsets' source changed.
    // trial: the trial whose countdown found the change (0 between runs).
    virtual void displayChanged([[maybe_unused]] qint64 us, [[maybe_unused]] qint16 trial,
                                [[maybe_unused]] const DisplayInfo &display) {}
    // A trigger code went out of the trigger port (--trigger) at us, lagUs after the onset or the
    // key stamp it marks; trial: the trial it belongs to (0 before a block's first). The resets
    // to 0 are not told.
    virtual void triggerSent([[maybe_unused]] qint16 trial, [[maybe_unused]] int code,
                             [[maybe_unused]] qint64 us, [[maybe_unused]] qint64 lagUs) {}
    // The trigger port did not take a code (pulled out, its buffer full): no more triggers go
    // out in this run.
    virtual void triggerLost([[maybe_unused]] qint16 trial, [[maybe_unused]] const QString &reason,
                             [[maybe_unused]] qint64 us) {}
    virtual void runCompleted(const RunStats &stats, qint64 us) = 0;
    virtual void resultsShown(qint64 us) = 0;
    virtual void resultsClosed(qint64 us) = 0;
};

} // namespace kivora
