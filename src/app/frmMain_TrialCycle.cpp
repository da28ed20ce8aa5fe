// The trial cycle: countdown, first figure, arrow cue, test figure. Each stage's timer counts
// from the moment its screen came on screen; the presenter says when that was.
#include "app/PictureBox.h"
#include "app/basTime.h"
#include "app/frmMain.h"
#include "base/Checked.h"
#include "base/Clock.h"
#include "results/RunObserver.h"
#include "run/TrialPictures.h"

#include <QLabel>

using kivora::add16;
using kivora::Screen;
using kivora::sub16;

void frmMain::StartTurn() {
    const kivora::TrialRec &rec = basTime::Trials[CurTrial];
    m_awaitingAnswer = false;
    m_turnActive = true;
    std::fill(std::begin(m_onsetUs), std::end(m_onsetUs), 0);
    const qint16 left = add16(sub16(basTime::TrialCount, CurTrial), 1);
    // The countdown follows an answer or Start, whenever that came: it is shown at once.
    showScreen(Screen::Countdown, std::nullopt, u"あと"_qs + QString::number(left) + u"問"_qs, 0);
    tmSec->setInterval(qint32(rec.PresentTime));
    tmPrim->setEnabled(false);
    tmSec->setEnabled(false);
    armWhenShown(*tmWait, Screen::Countdown);
    prepareTrialPictures(rec);
}

void frmMain::tmWait_Timer() {
    const kivora::TrialRec &rec = basTime::Trials[CurTrial];
    showScreen(Screen::First, kivora::firstPicture(rec), QString(),
               m_presenter->framesFor(tmWait->Interval()));
    armWhenShown(*tmPrim, Screen::First);
    tmWait->setEnabled(false);
}

void frmMain::tmPrim_Timer() {
    const kivora::TrialRec &rec = basTime::Trials[CurTrial];
    showScreen(Screen::Cue, kivora::cuePicture(rec), QString(), m_presenter->framesFor(tmPrim->Interval()));
    armWhenShown(*tmSec, Screen::Cue);
    tmPrim->setEnabled(false);
}

void frmMain::tmSec_Timer() {
    const kivora::TrialRec &rec = basTime::Trials[CurTrial];
    showScreen(Screen::Test, kivora::testPicture(rec), u"表(1)？ or 裏(2)？"_qs,
               m_presenter->framesFor(tmSec->Interval()));
    tmSec->setEnabled(false);
    // From here keys 1 and 2 answer; those pressed before the figure was on screen are
    // swallowed (Form_KeyDown compares their stamps with its onset).
    m_awaitingAnswer = true;
}

void frmMain::armWhenShown(kivora::StageTimer &timer, Screen shown) {
    // Where the screen is still on its way to the display, the timer counts from its onset
    // once that is known (screenShown), never from before the screen was there.
    if (m_onsetUs[int(shown)] == 0)
        timer.startOnCountFrom();
    timer.setEnabled(true);
}

void frmMain::showScreen(Screen screen, std::optional<kivora::PictureRef> picture, const QString &caption,
                         int frames) {
    const QImage *image = picture ? imageOf(*picture) : nullptr;
    // What the log says of the screen once it is on screen: its picture, or the countdown's caption.
    m_shownDetail[int(screen)] = picture ? u"%1-%2"_qs.arg(picture->list).arg(picture->position) : caption;
    m_presenter->show(screen, image, caption, frames);
}

kivora::StageTimer *frmMain::timerEnding(Screen screen) const {
    switch (screen) {
    case Screen::Countdown:
        return tmWait.get();
    case Screen::First:
        return tmPrim.get();
    case Screen::Cue:
        return tmSec.get();
    default:
        return nullptr;
    }
}

void frmMain::screenShown(Screen screen, kivora::Onset onset) {
    // A screen of a trial broken off by Stop may still come on screen (it was on its way): it
    // belongs to no trial any more.
    if (screen == Screen::Other || !m_turnActive)
        return;
    m_onsetUs[int(screen)] = onset.us;
    if (kivora::StageTimer *timer = timerEnding(screen)) {
        // The screen lasts its Interval from the moment it came on screen; the timer fires early
        // by what the presenter needs to bring the next screen on time.
        const Screen next = Screen(int(screen) + 1);
        timer->setLeadUs(m_presenter->leadUs(next, timer->Interval()));
        timer->countFrom(onset.us);
    }
    if (screen == Screen::Test)
        StartTime = kivora::Clock::toMs32(onset.us);

    const QString &detail = m_shownDetail[int(screen)];
    static const QString events[] = {u"countdown"_qs, u"first"_qs, u"cue"_qs, u"test"_qs};
    const QString &event = events[int(screen)];
    notify([&](kivora::RunObserver &o) {
        o.stageShown(event, CurTrial, detail, onset.us, onset.msc);
        if (onset.late())
            o.lateFlip(event, CurTrial, onset.targetMsc, onset.msc, onset.us);
    });
}

void frmMain::prepareTrialPictures(const kivora::TrialRec &rec) {
    // Off the timed path, and never an error of its own: a bad record fails in the stage that
    // shows its picture, with that stage's error.
    try {
        m_presenter->prepare({imageOf(kivora::firstPicture(rec)), imageOf(kivora::cuePicture(rec)),
                              imageOf(kivora::testPicture(rec))});
    } catch (const kivora::RuntimeError &) {
    }
}

const QImage *frmMain::imageOf(kivora::PictureRef picture) const {
    return &ImageList[picture.list].ListImages(picture.position);
}
