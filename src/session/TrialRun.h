#pragma once

#include "analysis/StatCell.h"
#include "base/Clock.h"
#include "results/RunObserver.h"
#include "run/Stage.h"
#include "run/TrialRec.h"
#include "session/Presenter.h"
#include "session/Study.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QImage;

namespace kivora {

class Clock;
class KeyStamps;
class PictureStore;
class StageTimer;
class TimeSource;
class TriggerSender;
struct TriggerWrite;

// The state the runs of a program share: the plan with the answers of the latest run, the
// participant's name, and the statistics of the last completed run. It lives as long as the
// program (basTime gives it its program-wide names) and starts zero or empty.
struct RunState {
    TrialTable Trials;
    qint16 TrialCount = 0;
    QString SubjectName;
    bool SubjectIsCode = false; // SubjectName is a participant code (the printout says so)
    RunStats Stats;
};

// Where a run's triggers stopped (--trigger): the port did not take the code of trial `trial` (as
// the log numbers it; in practice round `round`, 0 for the plan's trials), for `reason`; or, with
// started false, the port lost in an earlier run could not be opened again and the run did not
// start.
struct TriggerLoss {
    bool started = true;
    qint16 trial = 0;
    int round = 0;
    QString reason;
};

// What a run asks of the window that shows it. Only the window writes its controls; the run
// says what and when.
class RunView {
public:
    virtual ~RunView() = default;
    // The picture control's picture and the caption under it, put there as their screen comes on.
    virtual void showPicture(const QImage *picture) = 0;
    virtual void showCaption(const QString &caption) = 0;
    // Paints what changed now, before the run goes on; handles nothing but paint requests, so
    // no key or timer handler runs meanwhile.
    virtual void repaintNow() = 0;
    // The buttons of a run in progress (Start and End off, Stop on) or of a ready window.
    virtual void showRunning(bool running) = 0;
    // The results of the completed run, in a modal window: returns once it is closed. painted is
    // called once it has been painted.
    virtual void showResults(const std::function<void()> &painted) = 0;
    // A recorder could not write (detail says what); shown at most once per run, without taking
    // the keyboard from the participant. running: whether the run had begun.
    virtual void showWriteFailure(const QString &detail, bool running) = 0;
    // The monitor the pictures are shown on, and whether the window covers it.
    virtual ScreenFacts screenFacts() const = 0;
    // Triggers were lost: told once the run is over (or, where it could not start, at once).
    virtual void showTriggerLoss(const TriggerLoss &loss) = 0;
};

// One participant's runs, from Start to the results, without a window. A run takes the plan's
// trials in its order (or in a fresh shuffled order); each trial shows its stages through the
// presenter, each stage lasting its stage timer's interval from the moment its screen was on
// screen; a key 1 or 2 pressed after the test figure's onset answers it, with the reaction time
// from that onset; the last answer ends the run with its statistics and the results. Every
// stage, answer and end is told to the recorders as it happens.
//
// The stage timers are the run's; whoever shows the run connects each timer's Timer signal to
// stageElapsed() for the stage it ends (the main window does so through its timer handlers).
class TrialRun final : public QObject {
    Q_OBJECT
public:
    TrialRun(RunState &state, TimeSource &time, const PictureStore &pictures, RunView &view);
    ~TrialRun() override;

    // --- set-up ------------------------------------------------------------------------------
    // Recorders told of every stage, answer and end of a run (data file, timing log).
    void addObserver(RunObserver *observer) { m_observers.push_back(observer); }
    // How the pictures reach the screen; the picture on screen stays while it changes.
    void setPresenter(std::unique_ptr<Presenter> presenter);
    Presenter &presenter() const { return *m_presenter; }
    // Key presses stamped as they arrived; without them (nullptr) a key counts from the key
    // handler's own clock reading.
    void setKeyStamps(KeyStamps *stamps) { m_keyStamps = stamps; }
    // Trigger codes to a recorder at every screen's onset, answer and run event; without
    // (nullptr) none. A port lost during a run is opened again when the next run starts.
    void setTriggers(TriggerSender *triggers);
    // Every run takes the loaded plan's trials in the order of a new seed from nextSeed
    // (shuffledOrder), told to the recorders before the run starts.
    void shuffleEachRun(std::function<quint64()> nextSeed) { m_nextOrderSeed = std::move(nextSeed); }
    // The plan has been read into the trial table: the order every run starts from.
    void planLoaded();
    // Practice before the plan's trials and breaks during them (Study); without, a run is the
    // plan's trials alone.
    void setStudy(Study study) { m_study = std::move(study); }
    // The timer that ends a timed stage: tmWait the countdown (1000 ms), tmPrim the first figure
    // (2000 ms), tmSec the cue (the trial's PresentTime).
    StageTimer &timerEnding(Stage stage) const;

    // --- a run -------------------------------------------------------------------------------
    // Starts a run for the state's SubjectName: a new order where runs are shuffled, the
    // recorders told, the buttons of a running run, then trial 1 (or, with practice, the text
    // screen that announces it). Returns false, starting nothing, when a recorder cannot begin
    // the run (the experimenter has been told).
    bool start();
    // Begins trial CurTrial with its countdown.
    void StartTurn();
    // The stage timer that ends `stage` has fired: the next stage comes on.
    void stageElapsed(Stage stage);
    // When the key just seen by the key handler (at clock reading handledUs) was pressed: its
    // stamp on arrival where the key reader saw it (keyCode: the platform's number of the
    // physical key), else handledUs.
    qint64 keyTime(quint32 keyCode, qint64 handledUs);
    // A key came (keyCode: its virtual-key code; keyTimeUs: when it was pressed). Keys 1 and 2
    // pressed after the test figure's onset answer it; Space starts what a text screen waits
    // for; every other key, and every key during the timed stages, after a practice answer,
    // on a text screen or between runs, is swallowed.
    void keyDown(int keyCode, qint64 keyTimeUs);
    // Stop: the run is broken off at once, its answered trials kept.
    void stop();
    // The statistics of the trial table into the state.
    void Analyze();
    // The display as the presenter finds it now; a change since the last reading is told to the
    // recorders (displayChanged). Start-up reads it once the presenter is ready, and every
    // trial's countdown again.
    DisplayInfo readDisplay();
    // The window went to another monitor: the presenter measures the display again where it
    // can, and the display is read once that is done (a change goes to the recorders once).
    void displayMoved();
    // A picture of list 0 by key ("instruction", "wait"), shown as soon as possible.
    void showBetween(const QString &key);
    // Puts everything shown on screen now, the window's own changes with it.
    void refresh();

    // --- what the run is doing ---------------------------------------------------------------
    // The trial being run (1-based; kept by Stop) and the 32-bit millisecond view of the latest
    // test figure's onset (0 before the first; it changes only when a test figure is on screen).
    const qint16 &curTrial() const { return m_curTrial; }
    qint32 startTime() const { return Clock::toMs32(m_onsetUs[Stage(Stage::Test).index()]); }
    bool running() const { return m_running; }
    // The number of the run's first write failure (RuntimeError::number), 0 where none came: what
    // kept a run from starting, where start() returned false.
    int writeError() const { return m_writeError; }
    // A text screen (practice, a break) waits for Space.
    bool waitingForSpace() const { return bool(m_onSpace); }
    // The run is in its practice trials.
    bool practising() const { return m_practising; }
    // From the moment the test figure is put up until it is answered or the run stops: the only
    // time keys 1 and 2 count as answers (and only keys pressed once it was on screen).
    bool awaitingAnswer() const { return m_stage == Stage::Test; }
    // The onset of the current trial's stage (clock µs), 0 until it has been on screen.
    qint64 onsetUs(Stage stage) const;
    // The clock the onsets, key times and reaction times are read from.
    const Clock &clock() const;

private:
    // The trial being run, in its block (a practice round or the plan's trials): its record,
    // its number from 1 and the block's count.
    TrialRec &currentRec();
    qint16 currentTrial() const;
    qint16 currentCount() const;
    qint16 questionsLeft() const;
    void beginPracticeRound();
    void practiceAnswered(const TrialRec &rec);
    void feedbackShown();
    void endPracticeRound();
    void beginMainTrials();
    void pauseAfter(qint16 done);
    // Shows a screen of text in the picture area, with its trigger code (for the log's trial)
    // at its onset; Space then runs next.
    void showTextScreen(const QStringList &paragraphs, quint8 triggerCode, qint16 trial,
                        std::function<void()> next);
    // Shows a picture outside a trial, as soon as possible (with clearCaption, the caption goes
    // with it).
    void showPictureBetween(const QImage *picture, bool clearCaption);
    const QImage *imageOf(PictureRef picture) const;
    // Shows a stage of the current trial, `frames` refreshes after the stage before it.
    void showStage(Stage stage, int frames);
    void screenShown(Stage stage, Onset onset);
    // Enables the timer that ends `stage`, counting from the stage's onset.
    void armWhenShown(Stage stage);
    void prepareTrialPictures(const TrialRec &rec);
    // The onset of the current trial's stage, waiting for the display where the screen is still
    // on its way: the presenter tells it (screenShown, with its recorders) before this returns.
    qint64 waitForOnset(Stage stage);
    // The picture, caption, timers and buttons of a run that has ended, by Stop or completed.
    void stopSteps();
    void endRun();
    qint64 nowUs() const;
    // Sends a trigger code marking markUs (trial: the log's trial of it). What the sender tells
    // at once (the code written, the port lost) goes to the recorders right after, or, Held, at
    // the next logTriggers(): after the line of the event the code marks.
    enum class TriggerLines { Now, Held };
    void sendTrigger(quint8 code, qint64 markUs, qint16 trial, TriggerLines lines = TriggerLines::Now);
    void logTriggers();
    void triggerWritten(const TriggerWrite &write);
    void triggerLost(qint16 trial, const QString &reason, qint64 us);
    // A line of what the sender told, held while sendTrigger runs.
    void tellTriggerLine(std::function<void(RunObserver &)> line);
    // Where the run lost its triggers, told to the view once the run is over.
    void tellTriggerLoss();
    // Tells every recorder; returns false when one could not write, which is shown once per run.
    bool notify(const std::function<void(RunObserver &)> &call);

    RunState &m_state;
    TimeSource &m_time;
    const PictureStore &m_pictures;
    RunView &m_view;
    std::array<std::unique_ptr<StageTimer>, 3> m_timers; // the timers of the three timed stages
    std::unique_ptr<StageTimer> m_feedbackTimer;         // how long a practice answer's caption stays
    std::unique_ptr<Presenter> m_presenter;
    const QImage *m_picture = nullptr; // the picture the window was last told to show
    std::vector<RunObserver *> m_observers;
    KeyStamps *m_keyStamps = nullptr;
    TrialTable m_plan;                        // the plan as loaded, for runs in their own order
    std::function<quint64()> m_nextOrderSeed; // set when every run is shuffled
    Study m_study;
    bool m_practising = false;       // the run is in its practice trials
    int m_round = 0;                 // the practice round (1..Study::MaxRounds)
    qint16 m_practiceTrial = 0;      // the practice trial being run, from 1 in its round
    TrialTable m_practiceOrder;      // the round's practice trials, in its order
    int m_roundCorrect = 0;          // the round's correct answers so far
    std::function<void()> m_onSpace; // what Space starts while a text screen waits; empty: none
    QImage m_textScreen;             // the text screen shown

    qint16 m_curTrial = 0;
    bool m_running = false; // from Start until the run is stopped or completed
    // The stage of the trial being run, while its stages run (from the countdown until the
    // test figure is answered); Between otherwise: before the first trial, after an answer,
    // after Stop and at the end of a run. Only a trial's screens take onsets.
    Stage m_stage = Stage::Between;
    int m_writeError = 0; // the number of the run's first write failure (shown once); 0: none
    // Onsets of the stages (clock µs): the countdown's, the first figure's and the cue's of the
    // current trial (0 until shown, cleared at its countdown); the test figure's is the latest
    // one shown, kept until the next test figure is on screen (StartTime's origin), and the
    // current trial's once it is later than the trial's cue. The test figure's is the origin of
    // the reaction time; the countdown's bounds which key stamps can belong to it.
    std::array<qint64, Stage::TrialStages> m_onsetUs{};
    std::array<QString, Stage::TrialStages> m_shownDetail; // the log's detail of each stage
    int m_lateFlips = 0;                                   // of the current trial's screens
    DisplayInfo m_trialDisplay;                // the display as the current trial's countdown found it
    std::optional<DisplayInfo> m_knownDisplay; // as last read

    TriggerSender *m_triggers = nullptr;
    bool m_holdTriggerLines = false; // while sendTrigger runs: what the sender tells waits
    std::vector<std::function<void(RunObserver &)>> m_triggerLines; // told by logTriggers()
    quint8 m_textScreenCode = 0;              // the code of the text screen on its way; 0: none
    qint16 m_textScreenTrial = 0;             // and the log's trial of it
    std::optional<qint64> m_testTriggerLagUs; // the current trial's test figure's code's lag
    std::optional<TriggerLoss> m_triggerLoss; // where this run lost its triggers
};

} // namespace kivora
