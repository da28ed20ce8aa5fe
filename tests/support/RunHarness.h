#pragma once

// A trial run without a window, in fake time: its state, its pictures, a display (FakePresenter),
// a view that records what the run told the window to show and a recorder of what it told its
// recorders. The stage timers are wired to
// the run as the main window wires them. Used by the unit tests of the run.

#include "base/KeyCodes.h"
#include "session/Presenter.h"
#include "session/TrialRun.h"
#include "stimuli/PictureStore.h"
#include "support/FakePresenter.h"
#include "support/FakeTime.h"
#include "support/RunRecorder.h"

#include <QStringList>
#include <QTest>

// What the run told the window: the picture and caption now in its controls, the buttons, each
// results window it opened (with the picture the main window showed meanwhile), and the boxes
// about write failures and lost triggers.
struct RecordingView final : kivora::RunView {
    const QImage *picture = nullptr;
    QString caption;
    bool running = false;
    int repaints = 0;
    int resultsShown = 0;
    const QImage *pictureDuringResults = nullptr;
    QStringList writeFailures; // "detail|running" or "detail|not running"
    QList<kivora::TriggerLoss> triggerLosses;

    void showPicture(const QImage *p) override { picture = p; }
    void showCaption(const QString &c) override { caption = c; }
    void repaintNow() override { ++repaints; }
    void showRunning(bool on) override { running = on; }
    void showResults(const std::function<void()> &painted) override {
        ++resultsShown;
        pictureDuringResults = picture;
        painted();
    }
    void showWriteFailure(const QString &detail, bool runningNow) override {
        writeFailures << detail + (runningNow ? u"|running"_qs : u"|not running"_qs);
    }
    void showTriggerLoss(const kivora::TriggerLoss &loss) override { triggerLosses << loss; }
    kivora::ScreenFacts screenFacts() const override { return screen; }
    kivora::ScreenFacts screen; // what the window says of its monitor
};

// The 56 pictures, drawn once for the whole test program.
inline const kivora::PictureStore &sharedPictures() {
    static const kivora::PictureStore store;
    return store;
}

struct RunHarness {
    // periodUs: the fake display's refresh period; 0 for one that shows every picture at once.
    explicit RunHarness(qint64 periodUs = 0) : display(new FakePresenter(time, periodUs)) {
        run.setPresenter(std::unique_ptr<kivora::Presenter>(display));
        run.addObserver(&rec);
        for (const kivora::Stage stage : {kivora::Stage::Countdown, kivora::Stage::First, kivora::Stage::Cue})
            QObject::connect(&run.timerEnding(stage), &kivora::StageTimer::Timer, &run,
                             [this, stage] { run.stageElapsed(stage); });
    }

    // Three trials of different figure sets, cues, mirror codes and presentation times.
    static inline const std::initializer_list<kivora::TrialRec> ThreeTrials{
        {1, 0, 2, 0, 400, 0, 0}, {2, 0, 4, 1, 800, 0, 0}, {3, 0, 0, 1, 400, 0, 0}};

    // A plan of the given records as trials 1.., as the load step leaves it.
    void load(std::initializer_list<kivora::TrialRec> records) {
        state.TrialCount = 0;
        for (const kivora::TrialRec &r : records)
            state.Trials[++state.TrialCount] = r;
        run.planLoaded();
    }
    // Start with a name, as the Start button does once the name is given.
    bool start(const QString &name = u"山田"_qs) {
        state.SubjectName = name;
        return run.start();
    }
    // How long timed stage s lasts, ms: its timer's interval (the cue's is the current trial's
    // presentation time once the trial has begun). Tests take the stages' lengths from here;
    // tst_trialrun::stageDurations alone states them.
    qint64 stageMs(kivora::Stage s) const { return run.timerEnding(s).Interval(); }
    // From the start of a trial to the start of stage s of it (the test figure at the latest), ms.
    qint64 msUntil(kivora::Stage s) const {
        qint64 ms = 0;
        for (kivora::Stage t = kivora::Stage::Countdown; t != s; t = t.next())
            ms += stageMs(t);
        return ms;
    }
    // How many refreshes of periodUs timed stage s stays on a display in step with its refresh.
    int stageRefreshes(kivora::Stage s, qint64 periodUs) const {
        return kivora::refreshesFor(qint32(stageMs(s)), periodUs);
    }
    // The current trial through its timed stages to its test figure, on screen.
    void toTestFigure() {
        time.advanceMs(msUntil(kivora::Stage::Test) + 100);
        QVERIFY2(run.awaitingAnswer(), qPrintable(u"trial %1 shows no test figure"_qs.arg(run.curTrial())));
    }
    // A key with virtual-key code `code`, pressed now.
    void key(int code) { run.keyDown(code, run.keyTime(0, time.nowUs())); }
    // Answers the current test figure (0: key 1, 1: key 2) rtMs after it came on screen.
    void answer(qint16 answer, qint32 rtMs) {
        time.setNowUs(run.onsetUs(kivora::Stage::Test) + qint64(rtMs) * 1000);
        key(answer == 0 ? kivora::VK_1 : kivora::VK_2);
    }
    // The picture the store holds at list and position.
    static const QImage *picture(int list, int position) {
        return &sharedPictures()[list].ListImages(position);
    }
    static const QImage *picture(const QString &key) { return &sharedPictures()[0].ListImages(key); }
    // "WPS" style: which of the stage timers tmWait, tmPrim, tmSec are armed.
    QString timersArmed() const {
        QString armed;
        for (const auto &[stage, letter] :
             {std::pair{kivora::Stage::Countdown, u'W'}, std::pair{kivora::Stage::First, u'P'},
              std::pair{kivora::Stage::Cue, u'S'}})
            armed += run.timerEnding(stage).Enabled() ? QChar(letter) : u'-';
        return armed;
    }

    FakeTime time;
    kivora::RunState state;
    RecordingView view;
    FakePresenter *display; // owned by the run
    RunRecorder rec;        // what the run told its recorders
    kivora::TrialRun run{state, time, sharedPictures(), view};
};
