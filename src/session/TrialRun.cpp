#include "session/TrialRun.h"

#include "analysis/Analyze.h"
#include "base/Checked.h"
#include "base/Clock.h"
#include "base/KeyCodes.h"
#include "base/KeyStamps.h"
#include "base/RuntimeError.h"
#include "base/StageTimer.h"
#include "run/PlanMaker.h"
#include "session/TriggerCodes.h"
#include "session/TriggerSender.h"
#include "stimuli/PictureStore.h"
#include "stimuli/StimulusDrawing.h"

#include <algorithm>
#include <cstdint>

namespace kivora {

TrialRun::TrialRun(RunState &state, TimeSource &time, const PictureStore &pictures, RunView &view)
    : m_state(state), m_time(time), m_pictures(pictures), m_view(view) {
    const struct {
        const char16_t *name;
        qint32 intervalMs;
    } timers[] = {{u"tmWait", 1000}, {u"tmPrim", 2000}, {u"tmSec", 0}}; // tmSec: the trial's PresentTime
    for (std::size_t i = 0; i < m_timers.size(); ++i) {
        m_timers[i] = m_time.makeTimer(this);
        m_timers[i]->setObjectName(QString::fromUtf16(timers[i].name));
        m_timers[i]->setInterval(timers[i].intervalMs);
    }
    m_feedbackTimer = m_time.makeTimer(this);
    m_feedbackTimer->setInterval(Study::FeedbackMs);
    connect(m_feedbackTimer.get(), &StageTimer::Timer, this, &TrialRun::feedbackShown);
}

TrialRun::~TrialRun() = default;

void TrialRun::setPresenter(std::unique_ptr<Presenter> presenter) {
    m_presenter = std::move(presenter);
    connect(m_presenter.get(), &Presenter::shown, this, &TrialRun::screenShown);
    if (const QImage *picture = m_picture)
        m_presenter->show(Stage::Between, picture, 0, [this, picture] { m_view.showPicture(picture); });
}

void TrialRun::setTriggers(TriggerSender *triggers) {
    m_triggers = triggers;
    if (m_triggers) {
        connect(m_triggers, &TriggerSender::written, this, &TrialRun::triggerWritten);
        connect(m_triggers, &TriggerSender::lost, this, &TrialRun::triggerLost);
    }
}

void TrialRun::planLoaded() {
    m_plan = m_state.Trials;
}

StageTimer &TrialRun::timerEnding(Stage stage) const {
    if (!stage.timed())
        throw std::logic_error("only the countdown, the first figure and the cue end by a timer");
    return *m_timers[std::size_t(stage.index())];
}

// --- the trial cycle ------------------------------------------------------------------------

TrialRec &TrialRun::currentRec() {
    return m_practising ? m_practiceOrder[m_practiceTrial] : m_state.Trials[m_curTrial];
}

qint16 TrialRun::currentTrial() const {
    return m_practising ? m_practiceTrial : m_curTrial;
}

qint16 TrialRun::currentCount() const {
    return m_practising ? m_study.practiceCount : m_state.TrialCount;
}

void TrialRun::StartTurn() {
    const TrialRec &rec = currentRec();
    m_stage = Stage::Countdown;
    for (const Stage s : {Stage::Countdown, Stage::First, Stage::Cue})
        m_onsetUs[std::size_t(s.index())] = 0;
    m_lateFlips = 0;
    m_testTriggerLagUs.reset();
    // The countdown follows an answer or Start, whenever that came: it is shown at once.
    showStage(Stage::Countdown, 0);
    StageTimer &cue = timerEnding(Stage::Cue);
    cue.setInterval(qint32(rec.PresentTime));
    timerEnding(Stage::First).setEnabled(false);
    cue.setEnabled(false);
    armWhenShown(Stage::Countdown);
    // Off the timed path, while the countdown stays: the trial's pictures readied, and the display
    // asked again (a dialog or another window may have made a compositor take the window).
    prepareTrialPictures(rec);
    m_trialDisplay = readDisplay();
}

void TrialRun::stageElapsed(Stage stage) {
    StageTimer &ending = timerEnding(stage);
    const Stage next = stage.next();
    // From the test figure on keys 1 and 2 answer; those pressed before it was on screen are
    // swallowed (keyDown compares their stamps with its onset).
    m_stage = next;
    showStage(next, m_presenter->framesFor(ending.Interval()));
    if (next.timed())
        armWhenShown(next);
    ending.setEnabled(false);
}

qint64 TrialRun::onsetUs(Stage stage) const {
    const qint64 us = m_onsetUs[std::size_t(stage.index())];
    if (stage != Stage::Test)
        return us;
    const qint64 cueUs = m_onsetUs[std::size_t(Stage(Stage::Cue).index())];
    return cueUs != 0 && us > cueUs ? us : 0; // an earlier trial's test figure is not this one's
}

qint16 TrialRun::questionsLeft() const {
    return add16(sub16(currentCount(), currentTrial()), 1);
}

const QImage *TrialRun::imageOf(PictureRef picture) const {
    return &m_pictures[picture.list].ListImages(picture.position);
}

void TrialRun::showStage(Stage stage, int frames) {
    const TrialRec &rec = currentRec();
    const std::optional<PictureRef> picture = stage.picture(rec);
    const QImage *image = picture ? imageOf(*picture) : nullptr;
    const QString caption = stage.caption(questionsLeft());
    // What the log says of the stage once it is on screen: its picture, or the countdown's caption.
    m_shownDetail[std::size_t(stage.index())] =
        picture ? u"%1-%2"_qs.arg(picture->list).arg(picture->position) : caption;
    m_presenter->show(stage, image, frames, [this, image, caption] {
        m_picture = image;
        m_view.showPicture(image);
        m_view.showCaption(caption);
    });
}

void TrialRun::armWhenShown(Stage stage) {
    StageTimer &timer = timerEnding(stage);
    // Where the screen is still on its way to the display, the timer counts from its onset once
    // that is known (screenShown), never from before the screen was there.
    if (onsetUs(stage) == 0)
        timer.startOnCountFrom();
    timer.setEnabled(true);
}

void TrialRun::screenShown(Stage stage, Onset onset) {
    if (!stage.inTrial()) {
        // A text screen's code at its onset.
        if (const quint8 code = std::exchange(m_textScreenCode, 0))
            sendTrigger(code, onset.us, m_textScreenTrial);
        return;
    }
    // A screen of a trial broken off by Stop may still come on screen (it was on its way): it
    // belongs to no trial any more.
    if (!m_stage.inTrial())
        return;
    // The code first: nothing else the onset sets off comes between the screen and it.
    sendTrigger(triggercode::ofStage(stage, currentRec()), onset.us, currentTrial(), TriggerLines::Held);
    m_onsetUs[std::size_t(stage.index())] = onset.us;
    if (stage.timed()) {
        // The stage lasts its Interval from the moment it came on screen; the timer fires early by
        // what the presenter needs to bring the next stage on time.
        StageTimer &timer = timerEnding(stage);
        timer.setLeadUs(m_presenter->leadUs(stage.next(), timer.Interval()));
        timer.countFrom(onset.us);
    }

    if (onset.late())
        ++m_lateFlips;

    const QString event = stage.name();
    const QString &detail = m_shownDetail[std::size_t(stage.index())];
    notify([&](RunObserver &o) {
        o.stageShown(event, currentTrial(), detail, onset.us, onset.msc);
        if (onset.late())
            o.lateFlip(event, currentTrial(), onset.targetMsc, onset.msc, onset.us);
    });
    logTriggers();
}

void TrialRun::prepareTrialPictures(const TrialRec &rec) {
    // Off the timed path, and never an error of its own: a bad record fails in the stage that
    // shows its picture, with that stage's error.
    try {
        m_presenter->prepare(
            {imageOf(firstPicture(rec)), imageOf(cuePicture(rec)), imageOf(testPicture(rec))});
    } catch (const RuntimeError &) {
    }
}

qint64 TrialRun::waitForOnset(Stage stage) {
    if (onsetUs(stage) == 0)
        m_presenter->finish();
    return onsetUs(stage);
}

// --- run control ----------------------------------------------------------------------------

bool TrialRun::start() {
    // The first trial's stages are counted in refreshes of the display, which the presenter may
    // still be measuring (for half a second after start-up).
    m_presenter->waitUntilReady();
    // A run whose record cannot be begun (a full disk, a removed stick) does not start: the
    // experimenter learns it now, before the participant answers into nothing.
    m_writeError = 0;
    // Nor does a run asked to send triggers start without them: a port lost in an earlier run
    // (a trigger box pulled out) is opened again first.
    m_triggerLoss.reset();
    if (m_triggers && !m_triggers->isOpen()) {
        QString why;
        if (!m_triggers->open(&why)) {
            m_view.showTriggerLoss(TriggerLoss{false, 0, 0, why});
            return false;
        }
    }
    if (m_nextOrderSeed) {
        const quint64 seed = m_nextOrderSeed();
        fillInOrder(m_plan, m_state.TrialCount, seed, m_state.Trials);
        notify([&](RunObserver &o) { o.runOrdered(seed); });
    }
    if (!notify([&](RunObserver &o) { o.runStarted(m_state.SubjectName, nowUs()); }))
        return false;
    m_curTrial = 1;
    m_running = true;
    m_view.showRunning(true);
    if (m_study.practiceCount > 0) {
        m_practising = true;
        m_round = 0;
        showTextScreen(studytext::practiceIntro(), triggercode::PracticeText, 0,
                       [this] { beginPracticeRound(); });
    } else {
        sendTrigger(triggercode::MainTrials, nowUs(), 0);
        StartTurn();
    }
    return true;
}

// --- a study: practice rounds, breaks -------------------------------------------------------

void TrialRun::beginPracticeRound() {
    ++m_round;
    m_roundCorrect = 0;
    m_practiceTrial = 1;
    // A fresh order for every round where runs are shuffled.
    std::optional<quint64> seed;
    if (m_nextOrderSeed) {
        seed = m_nextOrderSeed();
        fillInOrder(m_study.practice, m_study.practiceCount, *seed, m_practiceOrder);
    } else {
        m_practiceOrder = m_study.practice;
    }
    notify([&](RunObserver &o) { o.practiceStarted(m_round, seed, nowUs()); });
    StartTurn();
}

void TrialRun::practiceAnswered(const TrialRec &rec) {
    // How the answer went stays in the caption under the test figure for a while, then the next
    // countdown (or the end of the round) comes.
    const bool correct = rec.Answer == rec.Mirror;
    m_roundCorrect += correct ? 1 : 0;
    m_view.showCaption(studytext::feedback(correct, rec.RT));
    m_view.repaintNow();
    m_feedbackTimer->setEnabled(true);
}

void TrialRun::feedbackShown() {
    m_feedbackTimer->setEnabled(false);
    if (m_practiceTrial < m_study.practiceCount) {
        m_practiceTrial = add16(m_practiceTrial, 1);
        StartTurn();
    } else {
        endPracticeRound();
    }
}

void TrialRun::endPracticeRound() {
    const int trials = m_study.practiceCount;
    notify([&](RunObserver &o) { o.practiceEnded(m_round, m_roundCorrect, trials, nowUs()); });
    // Below the criterion (the exact share, not the rounded percentage) another round follows,
    // up to the last one; after it the main trials begin whatever the share.
    if (m_roundCorrect * 100 < m_study.criterionPercent * trials && m_round < Study::MaxRounds)
        showTextScreen(studytext::practiceAgain(percentCorrect(m_roundCorrect, trials)),
                       triggercode::PracticeText, 0, [this] { beginPracticeRound(); });
    else
        showTextScreen(studytext::practiceDone(), triggercode::PracticeText, 0,
                       [this] { beginMainTrials(); });
}

void TrialRun::beginMainTrials() {
    m_practising = false;
    m_curTrial = 1;
    sendTrigger(triggercode::MainTrials, nowUs(), 0);
    StartTurn();
}

void TrialRun::pauseAfter(qint16 done) {
    notify([&](RunObserver &o) { o.breakStarted(done, nowUs()); });
    showTextScreen(studytext::pause(done, m_state.TrialCount), triggercode::BreakText, done, [this, done] {
        // The pause is in no trial's time: the next countdown starts from Space.
        notify([&](RunObserver &o) { o.breakEnded(done, nowUs()); });
        m_curTrial = add16(m_curTrial, 1);
        StartTurn();
    });
}

void TrialRun::showTextScreen(const QStringList &paragraphs, quint8 triggerCode, qint16 trial,
                              std::function<void()> next) {
    m_textScreen = drawTextScreen(paragraphs);
    m_onSpace = std::move(next);
    m_textScreenCode = triggerCode;
    m_textScreenTrial = trial;
    showPictureBetween(&m_textScreen, true);
    refresh();
}

qint64 TrialRun::keyTime(quint32 keyCode, qint64 handledUs) {
    // Every press the handler sees takes its stamp, so they are used up in order; presses older
    // than the trial never reached the handler and cannot be this one.
    if (!m_keyStamps)
        return handledUs;
    return KeyStamps::earlier(m_keyStamps->take(keyCode, onsetUs(Stage::Countdown), handledUs), handledUs);
}

void TrialRun::keyDown(int keyCode, qint64 keyTimeUs) {
    if (keyCode == VK_SPACE && m_onSpace) {
        std::exchange(m_onSpace, nullptr)();
        return;
    }
    const bool timedStage =
        std::any_of(m_timers.begin(), m_timers.end(), [](const auto &t) { return t->Enabled(); });
    // Only a test figure on screen takes an answer. With no timer running the window may as well
    // be idle (before the first run, after Stop, after a finished run): a key then is swallowed
    // rather than written into a trial.
    const std::optional<qint16> answer = answerOf(keyCode);
    if (timedStage || !answer || !awaitingAnswer())
        return;
    // The test figure may still be on its way to the screen (its flip due at the next refresh):
    // its onset decides whether this key came after it.
    const qint64 onset = waitForOnset(Stage::Test);
    if (onset == 0 || keyTimeUs < onset)
        return; // pressed before the figure was on screen: swallowed, as in the timed stages
    m_stage = Stage::Between;
    // The reaction time from the two readings at full resolution (µs), rounded to the nearest
    // millisecond: the difference of two whole-millisecond readings would add up to 1 ms of
    // truncation error. 64-bit microseconds never wrap, so the 32-bit StartTime passing 2^31
    // between the readings changes nothing.
    const qint64 rtUs = keyTimeUs - onset;
    TrialRec &rec = currentRec();
    rec.RT = qint32(std::clamp<qint64>((rtUs + 500) / 1000, INT32_MIN, INT32_MAX));
    rec.Answer = *answer;
    // The answer's code at once, from the key's stamp; the end of the run's right after it.
    sendTrigger(triggercode::ofAnswer(rec.Answer == rec.Mirror, rec.Answer + 1), keyTimeUs, currentTrial(),
                TriggerLines::Held);
    if (!m_practising && m_curTrial >= m_state.TrialCount)
        sendTrigger(triggercode::RunEnd, nowUs(), currentTrial(), TriggerLines::Held);
    const AnswerTiming timing{
        rec.Answer + 1, keyTimeUs,         rtUs, onset - onsetUs(Stage::Cue), m_lateFlips,
        m_trialDisplay, m_testTriggerLagUs};
    // Recorded (and on disk) before the next trial starts.
    notify([&](RunObserver &o) { o.answered(currentTrial(), rec, timing); });
    logTriggers();
    if (m_practising) {
        practiceAnswered(rec);
    } else if (m_curTrial < m_state.TrialCount) {
        // A break after every breakEvery-th trial but the last.
        if (m_study.breakEvery > 0 && m_curTrial % m_study.breakEvery == 0) {
            pauseAfter(m_curTrial);
            return;
        }
        m_curTrial = add16(m_curTrial, 1);
        StartTurn();
    } else {
        endRun();
    }
}

void TrialRun::endRun() {
    stopSteps(); // a completed run ends with the stop steps; no "stop" is recorded for it
    // The please-wait picture while the statistics are made and the results are open.
    showBetween(u"wait"_qs);
    refresh();
    Analyze();
    notify([&](RunObserver &o) { o.runCompleted(m_state.Stats, nowUs()); });
    m_view.showResults([this] { notify([&](RunObserver &o) { o.resultsShown(nowUs()); }); });
    notify([&](RunObserver &o) { o.resultsClosed(nowUs()); });
    showBetween(u"instruction"_qs);
    refresh();
    tellTriggerLoss();
}

void TrialRun::stop() {
    if (m_running) {
        sendTrigger(triggercode::Stopped, nowUs(), currentTrial());
        notify([&](RunObserver &o) { o.runStopped(nowUs()); });
    }
    stopSteps();
    tellTriggerLoss();
}

void TrialRun::stopSteps() {
    m_stage = Stage::Between;
    m_running = false;
    m_practising = false;
    m_onSpace = nullptr;
    m_textScreenCode = 0;
    m_feedbackTimer->setEnabled(false);
    showBetween(u"instruction"_qs);
    m_view.showCaption(QString());
    refresh();
    for (const auto &timer : m_timers)
        timer->setEnabled(false);
    m_view.showRunning(false);
}

void TrialRun::Analyze() {
    kivora::Analyze(m_state.Trials, m_state.TrialCount, m_state.Stats);
}

DisplayInfo TrialRun::readDisplay() {
    DisplayInfo info = m_presenter->displayInfo();
    info.monitor = m_view.screenFacts();
    const auto same = [](const DisplayInfo &a, const DisplayInfo &b) {
        // The period is measured once a monitor and then stays; the words a lab judges the onsets
        // by are these.
        return a.mode == b.mode && a.compositor == b.compositor && a.onset == b.onset &&
               a.monitor.fullscreen == b.monitor.fullscreen && a.monitor.screen == b.monitor.screen;
    };
    if (m_knownDisplay && !same(*m_knownDisplay, info))
        notify(
            [&](RunObserver &o) { o.displayChanged(nowUs(), m_running ? currentTrial() : qint16(0), info); });
    m_knownDisplay = info;
    return info;
}

void TrialRun::displayMoved() {
    if (m_presenter->displayMoved())
        connect(
            m_presenter.get(), &Presenter::ready, this, [this] { readDisplay(); }, Qt::SingleShotConnection);
    else
        readDisplay();
}

void TrialRun::showBetween(const QString &key) {
    showPictureBetween(&m_pictures[0].ListImages(key), false);
}

void TrialRun::showPictureBetween(const QImage *picture, bool clearCaption) {
    m_presenter->show(Stage::Between, picture, 0, [this, picture, clearCaption] {
        m_picture = picture;
        m_view.showPicture(picture);
        if (clearCaption)
            m_view.showCaption(QString());
    });
}

void TrialRun::refresh() {
    // What changed (the caption, the buttons) is painted now, and put on screen with any picture
    // still on its way.
    m_view.repaintNow();
    m_presenter->finish();
}

const Clock &TrialRun::clock() const {
    return m_time.clock();
}

qint64 TrialRun::nowUs() const {
    return m_time.clock().nowUs();
}

void TrialRun::sendTrigger(quint8 code, qint64 markUs, qint16 trial, TriggerLines lines) {
    if (!m_triggers)
        return;
    m_holdTriggerLines = true;
    m_triggers->send(code, markUs, trial);
    m_holdTriggerLines = false;
    if (lines == TriggerLines::Now)
        logTriggers();
}

void TrialRun::logTriggers() {
    for (const auto &line : std::exchange(m_triggerLines, {}))
        notify(line);
}

void TrialRun::triggerWritten(const TriggerWrite &write) {
    if (triggercode::isTestFigure(write.code))
        m_testTriggerLagUs = write.lagUs;
    tellTriggerLine(
        [write](RunObserver &o) { o.triggerSent(write.trial, write.code, write.us, write.lagUs); });
}

void TrialRun::triggerLost(qint16 trial, const QString &reason, qint64 us) {
    if (!m_triggerLoss)
        m_triggerLoss = TriggerLoss{true, trial, m_practising ? m_round : 0, reason};
    tellTriggerLine([=](RunObserver &o) { o.triggerLost(trial, reason, us); });
}

void TrialRun::tellTriggerLine(std::function<void(RunObserver &)> line) {
    m_triggerLines.push_back(std::move(line));
    // A code written when its moment came (not while sendTrigger runs) follows the line of what
    // it marks already.
    if (!m_holdTriggerLines)
        logTriggers();
}

void TrialRun::tellTriggerLoss() {
    if (m_triggerLoss)
        m_view.showTriggerLoss(*std::exchange(m_triggerLoss, std::nullopt));
}

bool TrialRun::notify(const std::function<void(RunObserver &)> &call) {
    bool written = true;
    for (RunObserver *o : m_observers) {
        try {
            call(*o);
        } catch (const RuntimeError &e) {
            written = false;
            if (m_writeError == 0) { // shown once per run
                m_writeError = e.number();
                m_view.showWriteFailure(e.detail(), m_running);
            }
        }
    }
    return written;
}

} // namespace kivora
