#pragma once

#include "app/Presenter.h"
#include "base/StageTimer.h"
#include "run/TrialPictures.h"
#include "run/TrialRec.h"
#include "stimuli/PictureStore.h"

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QLabel;
class QPushButton;

namespace kivora {
class Clock;
class KeyStamps;
class PictureBox;
class RunObserver;
} // namespace kivora

// The main window: the instruction screen, the trial cycle, the answers and run control.
// Its definition (controls, layout, key preview) is in frmMain.cpp; the load step, the trial
// cycle and the run control each in a file of their own (frmMain_Load.cpp, frmMain_TrialCycle.cpp,
// frmMain_RunControl.cpp).
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

    // How the pictures reach the screen. The window starts with a TimersPresenter (painted at
    // once); start-up puts one in step with the display's refresh in its place where the display
    // offers it. Call before the window is shown.
    void setPresenter(std::unique_ptr<kivora::Presenter> presenter);
    kivora::Presenter &presenter() { return *m_presenter; }
    // Key presses stamped as they arrived; without them (nullptr) a key counts from the key
    // filter's own clock reading.
    void setKeyStamps(kivora::KeyStamps *stamps) { m_keyStamps = stamps; }
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
    // KeyCode: virtual-key code, set to 0 to swallow the key. keyTimeUs: when the key was
    // pressed: its stamp on arrival, or the clock reading taken before anything else.
    void Form_KeyDown(int &KeyCode, int Shift, qint64 keyTimeUs);
    void Analyze();

    // Puts the window and its controls on screen now, before the caller goes on.
    void Refresh();

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

    // True from the moment the test figure is put up until it is answered or the run stops: the
    // only time keys 1 and 2 count as answers (and only keys pressed once it was on screen).
    bool awaitingAnswer() const { return m_awaitingAnswer; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QString askName();
    void showPicture(int list, const QString &key);
    void showResults();
    void prepareTrialPictures(const kivora::TrialRec &rec);
    // The picture store's image for a picture of a trial; throws RuntimeError where it has none.
    const QImage *imageOf(kivora::PictureRef picture) const;
    // Shows one screen of the trial: picture and caption, `frames` refreshes after the screen
    // before it (0: at once).
    void showScreen(kivora::Screen screen, std::optional<kivora::PictureRef> picture, const QString &caption,
                    int frames);
    // A screen of the trial has come on screen: record it, and count the stage timer that ends
    // it from that moment.
    void screenShown(kivora::Screen screen, kivora::Onset onset);
    // Enables the timer that ends screen `shown`, counting from that screen's onset.
    void armWhenShown(kivora::StageTimer &timer, kivora::Screen shown);
    // The timer that ends a screen of the trial.
    kivora::StageTimer *timerEnding(kivora::Screen screen) const;
    qint64 nowUs() const;
    // Tells every recorder; returns false when one could not write, which is shown once per run.
    bool notify(const std::function<void(kivora::RunObserver &)> &call);
    void showWriteFailure(const QString &detail);

    kivora::TimeSource &m_time;
    QString m_planFile = u"sequence.csv"_qs;
    kivora::TrialTable m_plan;                // the plan as loaded, for runs in their own order
    std::function<quint64()> m_nextOrderSeed; // set with --shuffle
    std::vector<kivora::RunObserver *> m_observers;
    std::unique_ptr<kivora::Presenter> m_presenter;
    kivora::KeyStamps *m_keyStamps = nullptr;
    bool m_awaitingAnswer = false;
    bool m_runEnding = false;
    bool m_writeErrorShown = false;
    // Onsets of the current trial's screens (clock µs; 0 until shown). The test figure's is the
    // origin of the reaction time; the countdown's bounds which key stamps can belong to it.
    qint64 m_onsetUs[int(kivora::Screen::Other)] = {};
    QString m_shownDetail[int(kivora::Screen::Other)]; // the log's detail of each screen
    bool m_turnActive = false;                         // a trial is running: its screens' onsets count
};
