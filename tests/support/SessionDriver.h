#pragma once

// Drives the real main window with fake time, the way an experimenter and a participant would:
// Start, the name question, the answer keys as the X server delivers them, Stop, the results
// window. Used by every test that runs trials on frmMain.

#include "support/FakeTime.h"
#include "support/Files.h"
#include "support/NativeKeys.h"
#include "support/TwelveTrials.h"
#include "ui/PictureBox.h"
#include "ui/basTime.h"
#include "ui/frmMain.h"
#include "ui/frmResult.h"

#include <QApplication>
#include <QCursor>
#include <QFontMetricsF>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace session {

// ---- Keys ----------------------------------------------------------------------------------

// A key as the window system delivers it: the physical key's numbers come with the event.
struct Key {
    int qtKey;
    Qt::KeyboardModifiers mods;
    NativeKey native;
};
inline const Key Main1{Qt::Key_1, Qt::NoModifier, native::Main1};
inline const Key Main2{Qt::Key_2, Qt::NoModifier, native::Main2};
inline const Key Main3{Qt::Key_3, Qt::NoModifier, native::Main3};
inline const Key Shift1{Qt::Key_Exclam, Qt::ShiftModifier, native::Main1};
inline const Key Shift2Jp{Qt::Key_QuoteDbl, Qt::ShiftModifier, native::Main2}; // Shift+2 on a Japanese layout
inline const Key Pad1{Qt::Key_1, Qt::KeypadModifier, native::Pad1};
inline const Key Pad2{Qt::Key_2, Qt::KeypadModifier, native::Pad2};
inline const Key Pad1NumLockOff{Qt::Key_End, Qt::KeypadModifier, native::Pad1NumLockOff};
inline const Key LetterA{Qt::Key_A, Qt::NoModifier, native::LetterA};
inline const Key MainEnter{Qt::Key_Return, Qt::NoModifier, native::MainEnter};
inline const Key KeypadEnter{Qt::Key_Enter, Qt::KeypadModifier, native::KeypadEnter};
inline const Key Escape{Qt::Key_Escape, Qt::NoModifier, native::Escape};

// Presses and releases the key on the widget that has the keyboard focus.
inline void press(const Key &k) {
    QWidget *target = QApplication::focusWidget();
    QVERIFY2(target, "no widget has the keyboard focus");
    QKeyEvent down(QEvent::KeyPress, k.qtKey, k.mods, k.native.scan, k.native.virtualKey, 0);
    QApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, k.qtKey, k.mods, k.native.scan, k.native.virtualKey, 0);
    QApplication::sendEvent(target, &up);
}

// Answer 0 or 1 with key 1 or 2 of the main keyboard.
inline void pressAnswer(qint16 answer) {
    press(answer == 0 ? Main1 : Main2);
}

// ---- Modal windows -------------------------------------------------------------------------

// A modal window blocks the code that opened it, so the test acts on it from inside its own
// loop: act(window) runs once the loop is going, if the active modal window is a T.
template <typename T, typename Act> void onNextModal(Act act) {
    QTimer::singleShot(0, [act] {
        if (auto *w = qobject_cast<T *>(QApplication::activeModalWidget()))
            act(w);
    });
}

// Answers the next name question: types name and accepts, or cancels. seen, if given, receives
// the question and the dialog's title as "question|title".
inline void answerName(const QString &name, bool accept = true, QString *seen = nullptr) {
    onNextModal<QInputDialog>([=](QInputDialog *d) {
        if (seen)
            *seen = d->labelText() + u"|"_qs + d->windowTitle();
        d->setTextValue(name);
        accept ? d->accept() : d->reject();
    });
}

// Whether the pointer is hidden (a blank cursor over every window of the program).
inline bool pointerHidden() {
    return QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::BlankCursor;
}

// What the results window showed, read from inside its loop before Enter closed it.
struct ResultsSeen {
    int shown = 0;
    QString summary;
    QImage picture;                      // the results window as drawn
    const QImage *mainPicture = nullptr; // the main window's picture meanwhile
    const QWidget *owner = nullptr;      // the results window's parent
    const QScreen *screen = nullptr;     // the monitor it was on
    bool pointerHidden = false;          // the pointer hidden as it opened
    bool summaryFits = false;            // every line of the summary within its box, uncut
};

// Reads the next results window into seen and closes it with Enter. The window has painted (and
// told the recorders so) before it closes.
inline void readResultsWhenShown(const frmMain &w, ResultsSeen &seen) {
    onNextModal<frmResult>([&w, &seen](frmResult *r) {
        ++seen.shown;
        seen.pointerHidden = pointerHidden();
        QVERIFY(QTest::qWaitForWindowExposed(r));
        seen.owner = r->parentWidget();
        seen.screen = r->screen();
        seen.picture = r->grab().toImage();
        QCoreApplication::processEvents(); // the first paint's notice is queued
        seen.summary = r->txtResult->toPlainText();
        const QFontMetricsF metrics(r->txtResult->font());
        const qreal room = r->txtResult->viewport()->width() - 2 * r->txtResult->document()->documentMargin();
        const QStringList lines = seen.summary.split(u'\n');
        seen.summaryFits = std::all_of(lines.begin(), lines.end(), [&](const QString &line) {
            return metrics.horizontalAdvance(line) <= room;
        });
        seen.mainPicture = w.Image1->picture();
        QTest::keyClick(r, Qt::Key_Return);
    });
}

// ---- Window state --------------------------------------------------------------------------

// "S-E" style: which of Start, Stop, End are enabled.
inline QString buttons(const frmMain &w) {
    return QString::fromLatin1(w.btnStart->isEnabled() ? "S" : "-") +
           QString::fromLatin1(w.btnStop->isEnabled() ? "T" : "-") +
           QString::fromLatin1(w.btnEnd->isEnabled() ? "E" : "-");
}

// "WPS" style: which of the stage timers tmWait, tmPrim, tmSec are armed.
inline QString timersArmed(const frmMain &w) {
    return QString::fromLatin1(w.tmWait->Enabled() ? "W" : "-") +
           QString::fromLatin1(w.tmPrim->Enabled() ? "P" : "-") +
           QString::fromLatin1(w.tmSec->Enabled() ? "S" : "-");
}

inline const QImage *instructionPicture(const frmMain &w) {
    return &w.ImageList[0].ListImages(u"instruction"_qs);
}

// ---- Runs ----------------------------------------------------------------------------------

// Runs the current trial through countdown, first figure and cue to its test figure, each
// stage as long as its timer says.
inline void toTestFigure(FakeTime &time, const frmMain &w) {
    time.advanceMs(w.tmWait->Interval() + w.tmPrim->Interval() + w.tmSec->Interval());
    QVERIFY2(w.awaitingAnswer(), qPrintable(u"trial %1 shows no test figure"_qs.arg(w.CurTrial)));
}

// Clicks Start and gives the name.
inline void clickStart(frmMain &w, const QString &name) {
    answerName(name);
    QTest::mouseClick(w.btnStart, Qt::LeftButton);
}

// Clicks Start and gives the name; the run has begun, and the main window takes the keys, when
// this returns.
inline void startRun(frmMain &w, const QString &name) {
    clickStart(w, name);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(buttons(w), u"-T-"_qs);
}

// ---- A twelve-trial plan and its participant (support/TwelveTrials.h) ------------------------

inline QByteArray twelveTrialPlan() {
    return twelve::plan();
}
constexpr int PlanTrials = twelve::Trials;
using twelve::plannedAnswer;
using twelve::PlannedCorrect;
using twelve::plannedRt;

// Waits the planned reaction time on the test figure of trial t and answers it.
inline void answerTrial(FakeTime &time, const frmMain &w, int t) {
    QCOMPARE(w.CurTrial, qint16(t));
    toTestFigure(time, w);
    if (QTest::currentTestFailed())
        return;
    time.advanceMs(plannedRt(t));
    pressAnswer(plannedAnswer(t, basTime::Trials[t].Mirror));
}

// ---- Odds and ends -------------------------------------------------------------------------

// The offscreen platform says "This plugin does not support propagateSizeHints()" for every
// dialog shown; in a test that opens hundreds of them that drowns the figures worth reading.
inline void quietOffscreenNoise() {
    static QtMessageHandler previous = nullptr;
    previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
            if (text == u"This plugin does not support propagateSizeHints()"_qs)
                return;
            previous(type, context, text);
        });
}

using files::readFile;
using files::writeFile;

} // namespace session
