#pragma once

#include "base/RecentMedian.h"
#include "base/StageTimer.h"
#include "run/TrialRec.h"
#include "stimuli/PictureStore.h"

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QPushButton;

namespace kivora {
class Clock;
class PictureBox;
class RunObserver;
} // namespace kivora

// The main window: the instruction screen, the trial cycle, the answers and run control.
// Its definition (controls, layout, key preview) is here; the load step, the trial cycle and the
// run control are defined with the run (src/run).
class frmMain : public QWidget {
    Q_OBJECT
public:
    // time gives the clock and the stage timers (tests hand in a fake one).
    // shapes hands over the pictures drawn ahead (start-up draws them while Qt starts).
    explicit frmMain(
        kivora::TimeSource &time,
        const std::function<kivora::PictureStore::Shapes()> &shapes = kivora::PictureStore::drawShapes,
        QWidget *parent = nullptr);
    ~frmMain() override;

    // Recorders told of every stage, answer and end of a run (data file, timing log).
    void addObserver(kivora::RunObserver *observer) { m_observers.push_back(observer); }

    // The plan the load step reads; a bare name is taken relative to the program's folder.
    void setPlanFile(const QString &path) { m_planFile = path; }

    // --shuffle: every run takes the loaded plan's trials in the order of a new seed from
    // nextSeed (shuffledOrder), told to the recorders before the run starts.
    void shuffleEachRun(std::function<quint64()> nextSeed) { m_nextOrderSeed = std::move(nextSeed); }

    // Load step: program folder as current folder, the plan into Trials, the instruction picture.
    void Form_Load();

    // Trial cycle.
    void StartTurn();
    void tmWait_Timer();
    void tmPrim_Timer();
    void tmSec_Timer();

    // Answers and run control.
    void btnStart_Click();
    void btnStop_Click();
    void btnEnd_Click();
    // KeyCode: virtual-key code, set to 0 to swallow the key. keyTimeUs: the clock reading taken
    // when the key arrived, before anything else.
    void Form_KeyDown(int &KeyCode, int Shift, qint64 keyTimeUs);
    void Analyze();

    // Paints the window and its controls now, before the caller goes on. Returns how long that
    // took, in microseconds.
    qint64 Refresh();

    // Controls, with their design-time names.
    QPushButton *btnEnd;
    QPushButton *btnStop;
    QPushButton *btnStart;
    QLabel *lMsg;
    kivora::PictureBox *Image1;
    std::unique_ptr<kivora::StageTimer> tmWait;
    std::unique_ptr<kivora::StageTimer> tmPrim;
    std::unique_ptr<kivora::StageTimer> tmSec;
    const kivora::PictureStore ImageList;

    qint16 CurTrial = 0;
    qint32 StartTime = 0;

    // True from the moment a test figure is on screen until it is answered or the run stops:
    // the only time keys 1 and 2 count as answers.
    bool awaitingAnswer() const { return m_awaitingAnswer; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QString askName();
    void showPicture(int list, int position);
    void showPicture(int list, const QString &key);
    void clearPicture();
    void showResults();
    // The trial's screens, for the time each takes to come on screen.
    enum Stage { Countdown, First, Cue, Test, StageCount };
    void prepareTrialPictures(const kivora::TrialRec &rec);
    // Enables a stage timer so that the next screen comes on screen Interval ms after this one
    // did (shownUs): it fires early by the time since then and by the median of the next
    // screen's recent paint times.
    void armStage(kivora::StageTimer &timer, Stage next, qint64 shownUs);
    qint64 nowUs() const;
    // Tells every recorder; returns false when one could not write, which is shown once per run.
    bool notify(const std::function<void(kivora::RunObserver &)> &call);
    void showWriteFailure(const QString &detail);

    kivora::TimeSource &m_time;
    QString m_planFile = u"sequence.csv"_qs;
    kivora::TrialTable m_plan;                // the plan as loaded, for runs in their own order
    std::function<quint64()> m_nextOrderSeed; // set with --shuffle
    std::vector<kivora::RunObserver *> m_observers;
    bool m_awaitingAnswer = false;
    kivora::RecentMedian m_paintUs[StageCount]; // how long each screen takes to come on screen
    bool m_runEnding = false;
    bool m_writeErrorShown = false;
    qint64 m_startTimeUs = 0;
};
