#pragma once

// Drives whole runs on the real main window with fake time, the way an experimenter and a
// participant would: Start, a name, the answer keys as the X server delivers them, Stop.
// Shared by the long-use and full-disk tests.

#include "app/PictureBox.h"
#include "app/basTime.h"
#include "app/frmMain.h"
#include "support/FakeTime.h"

#include <QApplication>
#include <QFile>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace robustness {

// Twelve trials that touch every figure set, start and cue direction, both mirror codes and
// three presentation times.
inline QByteArray twelveTrialPlan() {
    return "1,0,0,0,400\r\n"
           "2,1,1,1,800\r\n"
           "3,2,2,0,1200\r\n"
           "4,3,3,1,400\r\n"
           "1,4,4,0,800\r\n"
           "2,5,5,1,1200\r\n"
           "3,0,1,1,400\r\n"
           "4,1,2,0,800\r\n"
           "1,2,3,1,1200\r\n"
           "2,3,4,0,400\r\n"
           "3,4,5,1,800\r\n"
           "4,5,0,0,1200\r\n";
}
constexpr int PlanTrials = 12;

// The participant's reaction time for trial t, ms: spread out, no two alike.
constexpr qint32 plannedRt(int t) {
    return 350 + 53 * t + (t % 4) * 97;
}
// The participant answers as the figure is (correct), except for trials 4 and 9.
inline qint16 plannedAnswer(int t, qint16 mirror) {
    const bool wrong = t == 4 || t == 9;
    return qint16(wrong ? 1 - mirror : mirror);
}
constexpr int PlannedCorrect = PlanTrials - 2;

// Key 1 or 2 of the main keyboard, with the scan codes an X server gives them.
inline void pressAnswer(qint16 answer) {
    QWidget *target = QApplication::focusWidget();
    QVERIFY2(target, "no widget has the keyboard focus");
    const int key = answer == 0 ? Qt::Key_1 : Qt::Key_2;
    const quint32 scan = answer == 0 ? 10 : 11;
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, scan, 0, 0);
    QApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, scan, 0, 0);
    QApplication::sendEvent(target, &up);
}

inline void pressEscape() {
    QWidget *target = QApplication::focusWidget();
    QVERIFY2(target, "no widget has the keyboard focus");
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, 9, 0, 0);
    QApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier, 9, 0, 0);
    QApplication::sendEvent(target, &up);
}

// Answers the next name question from inside its modal loop.
inline void answerNameSoon(const QString &name) {
    QTimer::singleShot(0, [name] {
        if (auto *d = qobject_cast<QInputDialog *>(QApplication::activeModalWidget())) {
            d->setTextValue(name);
            d->accept();
        }
    });
}

// "S-E" style: which of Start, Stop, End are enabled.
inline QString buttons(const frmMain &w) {
    return QString::fromLatin1(w.btnStart->isEnabled() ? "S" : "-") +
           QString::fromLatin1(w.btnStop->isEnabled() ? "T" : "-") +
           QString::fromLatin1(w.btnEnd->isEnabled() ? "E" : "-");
}

inline bool anyTimerRunning(const frmMain &w) {
    return w.tmWait->Enabled() || w.tmPrim->Enabled() || w.tmSec->Enabled();
}

// Runs the current trial through countdown, first figure and cue to its test figure.
inline void toTestFigure(FakeTime &time, const frmMain &w) {
    const auto &rec = basTime::Trials[w.CurTrial];
    time.advanceMs(1000 + 2000 + rec.PresentTime);
    QVERIFY2(w.awaitingAnswer(), qPrintable(u"trial %1 shows no test figure"_qs.arg(w.CurTrial)));
}

// Waits the planned reaction time on the test figure of trial t and answers it.
inline void answerTrial(FakeTime &time, const frmMain &w, int t) {
    QCOMPARE(w.CurTrial, qint16(t));
    toTestFigure(time, w);
    if (QTest::currentTestFailed())
        return;
    time.advanceMs(plannedRt(t));
    pressAnswer(plannedAnswer(t, basTime::Trials[t].Mirror));
}

// Clicks Start and gives the name.
inline void clickStart(frmMain &w, const QString &name) {
    answerNameSoon(name);
    QTest::mouseClick(w.btnStart, Qt::LeftButton);
}

// Clicks Start and gives the name; the run has begun, and the main window takes the keys, when
// this returns.
inline void startRun(frmMain &w, const QString &name) {
    clickStart(w, name);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(buttons(w), u"-T-"_qs);
}

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

inline bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace robustness
