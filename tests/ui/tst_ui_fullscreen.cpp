// The main window on a chosen monitor of two (the offscreen platform's virtual monitors, from
// tests/ui/screens/two-monitors.json): covering it, its controls at their designed sizes and
// places in the middle; its dialogs on the same monitor; the pointer hidden during a run only;
// a monitor that goes away takes the window to the primary one.
#include "base/Fonts.h"
#include "support/SessionDriver.h"
#include "ui/Screens.h"

#include <QMessageBox>
#include <QScreen>
#include <QSignalSpy>

using namespace session;

namespace {
QScreen *screenCalled(const QString &name) {
    QString why;
    return kivora::screenNamed(name, &why);
}

// Where a control lies on the screen.
QRect onScreen(const QWidget *w) {
    return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
}
} // namespace

class tst_ui_fullscreen : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup() { delete m_w; }
    void layout_data();
    void layout();
    void dialogsOnTheSameMonitor();
    void pointerHiddenDuringARunOnly_data();
    void pointerHiddenDuringARunOnly();
    void monitorGoneTakesWindowToPrimary();

private:
    FakeTime m_time;
    frmMain *m_w = nullptr;
};

void tst_ui_fullscreen::initTestCase() {
    kivora::installFontSubstitutes();
    quietOffscreenNoise();
    QCOMPARE(QGuiApplication::screens().size(), 2);
}

void tst_ui_fullscreen::init() {
    basTime::reset();
    QVERIFY(writeFile(u"plan.csv"_qs, twelveTrialPlan()));
    m_w = new frmMain(m_time);
    m_w->setPlanFile(QDir::current().absoluteFilePath(u"plan.csv"_qs));
    m_w->Form_Load();
}

// Covering either monitor, the window is the monitor's whole area and each control keeps the
// size and the place relative to the others that it has in the designed window, the whole
// design in the monitor's middle. As designed, the window keeps its designed place on the
// chosen monitor.
void tst_ui_fullscreen::layout_data() {
    QTest::addColumn<QString>("screen");
    QTest::addColumn<bool>("fullscreen");
    QTest::newRow("HDMI-1, fullscreen") << u"HDMI-1"_qs << true;
    QTest::newRow("DP-2, fullscreen") << u"DP-2"_qs << true;
    QTest::newRow("DP-2, as designed") << u"DP-2"_qs << false;
}

void tst_ui_fullscreen::layout() {
    QFETCH(QString, screen);
    QFETCH(bool, fullscreen);
    QScreen *s = screenCalled(screen);
    QVERIFY(s);
    frmMain designed(m_time); // as designed, never shown: the places to compare with
    const QPoint designedPos = designed.pos();
    m_w->showOn(s, fullscreen);
    QVERIFY(QTest::qWaitForWindowExposed(m_w));
    QCOMPARE(m_w->shownOn(), s);
    QCOMPARE(m_w->coversScreen(), fullscreen);
    const QRect area = s->geometry();
    if (fullscreen)
        QCOMPARE(m_w->geometry(), area);
    else
        QCOMPARE(m_w->pos(), area.topLeft() + designedPos);
    // The design as a whole: centred, or where the window is.
    QRect design;
    for (QWidget *c : {static_cast<QWidget *>(designed.btnStart), static_cast<QWidget *>(designed.btnEnd),
                       static_cast<QWidget *>(designed.Image1)})
        design |= QRect(c->mapTo(&designed, QPoint(0, 0)), c->size());
    const QPoint shift = onScreen(m_w->Image1).topLeft() - designed.Image1->mapTo(&designed, QPoint(0, 0));
    for (const char *name : {"btnStart", "btnStop", "btnEnd", "lMsg", "Image1"}) {
        const QWidget *shown = m_w->findChild<QWidget *>(QString::fromLatin1(name));
        const QWidget *planned = designed.findChild<QWidget *>(QString::fromLatin1(name));
        QCOMPARE(onScreen(shown), QRect(planned->mapTo(&designed, QPoint(0, 0)) + shift, planned->size()));
    }
    if (fullscreen) {
        const QRect placed = design.translated(shift);
        QVERIFY2(qAbs(placed.center().x() - area.center().x()) <= 1 &&
                     qAbs(m_w->panel()->geometry().center().y() + area.top() - area.center().y()) <= 1,
                 qPrintable(u"design at %1,%2 on a monitor centred at %3,%4"_qs.arg(placed.center().x())
                                .arg(placed.center().y())
                                .arg(area.center().x())
                                .arg(area.center().y())));
    }
}

// Covering a monitor, the name dialog, a message box and the results window open on that
// monitor, the results window owned by the main window.
void tst_ui_fullscreen::dialogsOnTheSameMonitor() {
    QScreen *s = screenCalled(u"DP-2"_qs);
    m_w->showOn(s, true);
    QVERIFY(QTest::qWaitForWindowActive(m_w));
    QScreen *dialogOn = nullptr;
    onNextModal<QInputDialog>([&](QInputDialog *d) {
        QVERIFY(QTest::qWaitForWindowExposed(d));
        dialogOn = d->screen();
        QVERIFY(s->geometry().contains(d->frameGeometry().center()));
        d->reject();
    });
    QTest::mouseClick(m_w->btnStart, Qt::LeftButton);
    QCOMPARE(dialogOn, s);

    startRun(*m_w, u"山田"_qs);
    ResultsSeen results;
    readResultsWhenShown(*m_w, results);
    for (int t = 1; t <= PlanTrials; ++t)
        answerTrial(m_time, *m_w, t);
    QCOMPARE(results.owner, m_w);
    QCOMPARE(results.screen, s);
}

// Covering a monitor, the pointer is hidden from the name's OK on and shown again with Stop or
// when the results window opens; in a window it is never hidden.
void tst_ui_fullscreen::pointerHiddenDuringARunOnly_data() {
    QTest::addColumn<bool>("fullscreen");
    QTest::newRow("fullscreen") << true;
    QTest::newRow("as designed") << false;
}

void tst_ui_fullscreen::pointerHiddenDuringARunOnly() {
    QFETCH(bool, fullscreen);
    m_w->showOn(screenCalled(u"HDMI-1"_qs), fullscreen);
    QVERIFY(QTest::qWaitForWindowActive(m_w));
    QVERIFY(!pointerHidden());
    startRun(*m_w, u"山田"_qs);
    QCOMPARE(pointerHidden(), fullscreen);
    press(Escape); // Stop
    QVERIFY(!pointerHidden());
    startRun(*m_w, u"佐藤"_qs);
    ResultsSeen results;
    readResultsWhenShown(*m_w, results);
    for (int t = 1; t <= PlanTrials; ++t)
        answerTrial(m_time, *m_w, t);
    QCOMPARE(results.shown, 1);
    QVERIFY(!results.pointerHidden);
    QVERIFY(!pointerHidden());
}

// The monitor a fullscreen window is on goes away: the window covers the primary one.
void tst_ui_fullscreen::monitorGoneTakesWindowToPrimary() {
    QScreen *primary = QGuiApplication::primaryScreen();
    QScreen *other = QGuiApplication::screens().at(primary == QGuiApplication::screens().at(0) ? 1 : 0);
    m_w->showOn(other, true);
    QVERIFY(QTest::qWaitForWindowExposed(m_w));
    QSignalSpy moved(m_w, &kivora::DesignedWindow::movedToPrimary);
    emit qGuiApp->screenRemoved(other); // what the platform says when it is unplugged
    QCOMPARE(moved.size(), 1);
    QCOMPARE(m_w->shownOn(), primary);
    QCOMPARE(m_w->geometry(), primary->geometry());
}

QTEST_MAIN(tst_ui_fullscreen)
#include "tst_ui_fullscreen.moc"
