#pragma once

#include "base/StageTimer.h"
#include "session/Participant.h"
#include "session/Presenter.h"
#include "session/TrialRun.h"
#include "stimuli/PictureStore.h"
#include "ui/DesignedWindow.h"

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;

namespace kivora {
class KeyStamps;
class PictureBox;
class RunObserver;
} // namespace kivora

// The main window: the instruction screen, the trial cycle, the answers and run control. It
// shows a kivora::TrialRun, which holds the run's state and rules; each handler hands its event
// to the run, and the run tells the window what to put into its controls (kivora::RunView).
// Its definition (controls, layout, key preview), the load step, the trial cycle's handlers and
// the run control are in frmMain.cpp.
class frmMain : public kivora::DesignedWindow, private kivora::RunView {
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
    void addObserver(kivora::RunObserver *observer) { m_run.addObserver(observer); }

    // The plan the load step reads; a bare name is taken relative to the program's folder.
    void setPlanFile(const QString &path) { m_planFile = path; }
    // Who a run is of: a name as typed, or a participant code (Auto: a fresh one offered, not
    // one the data folder dataFolder has files of).
    void setSubjects(kivora::SubjectMode mode, const QString &dataFolder) {
        m_subjects = mode;
        m_dataFolder = dataFolder;
    }
    // Practice before the plan's trials and breaks during them.
    void setStudy(kivora::Study study) { m_run.setStudy(std::move(study)); }

    // How the pictures reach the screen. The window starts with a TimersPresenter (painted at
    // once); start-up puts one in step with the display's refresh in its place where the display
    // offers it. Call before the window is shown.
    void setPresenter(std::unique_ptr<kivora::Presenter> presenter) {
        m_run.setPresenter(std::move(presenter));
    }
    kivora::Presenter &presenter() { return m_run.presenter(); }
    // The display as of now; a change since the last reading goes to the recorders.
    kivora::DisplayInfo readDisplay() { return m_run.readDisplay(); }
    // Key presses stamped as they arrived; without them (nullptr) a key counts from the key
    // filter's own clock reading.
    void setKeyStamps(kivora::KeyStamps *stamps) { m_run.setKeyStamps(stamps); }
    // --trigger: codes to a recorder at every screen's onset and answer; nullptr: none.
    void setTriggers(kivora::TriggerSender *triggers) { m_run.setTriggers(triggers); }
    // --shuffle: every run takes the loaded plan's trials in the order of a new seed from
    // nextSeed (shuffledOrder), told to the recorders before the run starts.
    void shuffleEachRun(std::function<quint64()> nextSeed) { m_run.shuffleEachRun(std::move(nextSeed)); }

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
    const kivora::PictureStore ImageList;

private:
    kivora::TrialRun m_run; // before the views of its state below

public:
    // The stage timers and the run's state, as the run holds them.
    kivora::StageTimer *const tmWait;
    kivora::StageTimer *const tmPrim;
    kivora::StageTimer *const tmSec;
    const qint16 &CurTrial;
    qint32 StartTime() const { return m_run.startTime(); }

    // True from the moment the test figure is put up until it is answered or the run stops: the
    // only time keys 1 and 2 count as answers (and only keys pressed once it was on screen).
    bool awaitingAnswer() const { return m_run.awaitingAnswer(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The name dialog: question, with text in its box; the empty string for Cancel.
    QString askName(const QString &question, const QString &text);
    // The participant's name, or a participant code where runs are of codes.
    QString askSubject();
    // What the run asks the window to show.
    void showPicture(const QImage *picture) override;
    void showCaption(const QString &caption) override;
    void repaintNow() override;
    void showRunning(bool running) override;
    void showResults(const std::function<void()> &painted) override;
    void showWriteFailure(const QString &detail, bool running) override;
    void showTriggerLoss(const kivora::TriggerLoss &loss) override;
    kivora::ScreenFacts screenFacts() const override;

    QString m_planFile = u"sequence.csv"_qs;
    kivora::SubjectMode m_subjects = kivora::SubjectMode::Name;
    QString m_dataFolder; // where the data files go; empty: none are kept
};
