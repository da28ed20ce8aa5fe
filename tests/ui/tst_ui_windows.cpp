// The window definitions: every control where the layout puts it, with its caption, font,
// state, tab order and key roles; the picture control's pixels; the message window.
#include "analysis/Analyze.h"
#include "base/Fonts.h"
#include "support/InLanguage.h"
#include "support/PixelProbe.h"
#include "support/SessionDriver.h"
#include "support/WindowGeometry.h"
#include "ui/ProgramIdentity.h"
#include "ui/frmMessage.h"

#include <QFontInfo>
#include <QTimer>

class tst_ui_windows : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void mainWindow();
    void mainGeometry_data();
    void mainGeometry();
    void mainControls_data();
    void mainControls();
    void mainTabOrderAndStacking();
    void japaneseFaceResolves();
    void image1ShowsPicturePixelForPixel();
    void image1EmptyAfterClear();
    void enterClicksDefaultButton();
    void enterClicksFocusedButton();
    void keyPreviewSwallowsKeysBeforeFocusedButton_data();
    void keyPreviewSwallowsKeysBeforeFocusedButton();
    void escapeClicksStopOnlyWhileEnabled();
    void closingMainWindowEndsProgram_data();
    void closingMainWindowEndsProgram();
    void messageRoundTrip_data();
    void messageRoundTrip();
    void messageLoadsWithoutShowing();
    void messageFocusNeverStaysOnText();
    void messageGeometry_data();
    void messageGeometry();
    void messageWindow();
    void programStateIsTheRunsState();
    void everyWindowHasTheProgramIcon_data();
    void everyWindowHasTheProgramIcon();

private:
    FakeTime m_time;
};

void tst_ui_windows::initTestCase() {
    kivora::installFontSubstitutes();
    kivora::setProgramIdentity(); // the name "Kivora" and the icon, as start-up sets them
}

void tst_ui_windows::init() {
    basTime::reset();
}

// The main window as made: its title, and no stage timer armed before a run.
void tst_ui_windows::mainWindow() {
    frmMain w(m_time);
    QCOMPARE(w.windowTitle(), u"Kivora"_qs);
    QCOMPARE(session::timersArmed(w), u"---"_qs);
}

// The window and its controls where the layout puts them (the table: geometry::MainWindow). The
// other tests take a control's place from the widget.
void tst_ui_windows::mainGeometry_data() {
    geometry::addRows(geometry::MainWindow);
}

void tst_ui_windows::mainGeometry() {
    frmMain w(m_time);
    geometry::check(w);
}

void tst_ui_windows::mainControls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<QString>("language");
    QTest::newRow("btnStart") << u"btnStart"_qs << u"開始"_qs << true << true << u"ja"_qs;
    QTest::newRow("btnStop") << u"btnStop"_qs << u"中止"_qs << false << true << u"ja"_qs;
    QTest::newRow("btnEnd") << u"btnEnd"_qs << u"終了"_qs << true << true << u"ja"_qs;
    QTest::newRow("lMsg") << u"lMsg"_qs << QString() << true << true << u"ja"_qs;
    QTest::newRow("btnStart in English") << u"btnStart"_qs << u"Start"_qs << true << true << u"en"_qs;
    QTest::newRow("btnStop in English") << u"btnStop"_qs << u"Stop"_qs << false << true << u"en"_qs;
    QTest::newRow("btnEnd in English") << u"btnEnd"_qs << u"End"_qs << true << true << u"en"_qs;
}

void tst_ui_windows::mainControls() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(bool, enabled);
    QFETCH(bool, bold);
    QFETCH(QString, language);
    const InLanguage in(language);
    frmMain w(m_time);
    auto *c = w.findChild<QWidget *>(name);
    QVERIFY(c);
    if (auto *b = qobject_cast<QPushButton *>(c))
        QCOMPARE(b->text(), caption);
    else
        QCOMPARE(qobject_cast<QLabel *>(c)->text(), caption);
    QCOMPARE(c->isEnabled(), enabled);
    QCOMPARE(c->font().family(), u"ＭＳ Ｐゴシック"_qs);
    QCOMPARE(c->font().pointSizeF(), 14.25);
    QCOMPARE(c->font().bold(), bold);
    QVERIFY(!c->font().italic() && !c->font().underline() && !c->font().strikeOut());
}

void tst_ui_windows::mainTabOrderAndStacking() {
    frmMain w(m_time);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(QApplication::focusWidget(), w.btnStart); // lowest tab index that takes the focus
    w.btnStop->setEnabled(true);
    QList<QWidget *> order;
    QWidget *f = w.btnStart;
    for (int i = 0; i < 3; ++i, f = f->nextInFocusChain()) {
        while (f->focusPolicy() == Qt::NoFocus)
            f = f->nextInFocusChain();
        order << f;
    }
    QCOMPARE(order, (QList<QWidget *>{w.btnStart, w.btnStop, w.btnEnd}));
    QCOMPARE(w.lMsg->focusPolicy(), Qt::NoFocus);
    QCOMPARE(w.Image1->focusPolicy(), Qt::NoFocus);
    // The label lies beneath every other control of the window.
    const auto kids = w.lMsg->parentWidget()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    QCOMPARE(kids.first(), static_cast<QWidget *>(w.lMsg));
}

void tst_ui_windows::japaneseFaceResolves() {
    QVERIFY(kivora::japaneseFaceAvailable());
    const QFontInfo info(kivora::uiFont(14.25, true));
    // Either a real MS PGothic or its proportional stand-in, never a Latin face.
    QVERIFY2(info.family().contains(u"PGothic"_qs) || info.family() == u"ＭＳ Ｐゴシック"_qs,
             qPrintable(info.family()));
}

void tst_ui_windows::image1ShowsPicturePixelForPixel() {
    frmMain w(m_time);
    const QImage &pic = w.ImageList[2].ListImages(9);
    w.Image1->setPicture(&pic);
    const QImage shot = probe::screenshot(*w.Image1);
    QCOMPARE(shot.size(), w.Image1->size());
    const int border = kivora::PictureBox::BorderPx;
    QCOMPARE(shot.copy(QRect(QPoint(border, border), pic.size())), pic.convertToFormat(QImage::Format_RGB32));
    // The sunken border: dark at the top-left edge, light at the bottom-right edge.
    const int y = shot.height() / 2;
    QVERIFY(qGray(shot.pixel(0, y)) < 160);
    QVERIFY(qGray(shot.pixel(shot.width() - 1, y)) > qGray(shot.pixel(0, y)));
}

void tst_ui_windows::image1EmptyAfterClear() {
    frmMain w(m_time);
    w.Image1->setPicture(&w.ImageList[1].ListImages(1));
    w.Image1->setPicture(nullptr);
    const QImage shot = probe::screenshot(*w.Image1);
    const QRect inside = shot.rect().adjusted(kivora::PictureBox::BorderPx, kivora::PictureBox::BorderPx,
                                              -kivora::PictureBox::BorderPx, -kivora::PictureBox::BorderPx);
    const QRgb face = shot.pixel(inside.center());
    QCOMPARE(probe::count(shot, inside, [face](QRgb p) { return p != face; }), 0);
}

void tst_ui_windows::enterClicksDefaultButton() {
    basTime::TrialCount = 1;
    basTime::Trials[1] = {1, 0, 0, 0, 400, 0, 0};
    frmMain w(m_time);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.lMsg->setFocus(); // no button has the focus
    QString seen;
    session::answerName(QString(), false, &seen);
    QTest::keyClick(&w, Qt::Key_Return);
    QCOMPARE(seen, u"氏名を入力してください|Kivora"_qs);
    QVERIFY(w.btnStart->isEnabled()); // cancelled: nothing started
}

void tst_ui_windows::enterClicksFocusedButton() {
    frmMain w(m_time);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.btnEnd->setFocus();
    QTest::keyClick(w.btnEnd, Qt::Key_Return);
    QVERIFY(!w.isVisible()); // End closed the window
}

void tst_ui_windows::keyPreviewSwallowsKeysBeforeFocusedButton_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("space") << int(Qt::Key_Space);
    QTest::newRow("1") << int(Qt::Key_1);
    QTest::newRow("a") << int(Qt::Key_A);
}

void tst_ui_windows::keyPreviewSwallowsKeysBeforeFocusedButton() {
    QFETCH(int, key);
    frmMain w(m_time);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.btnEnd->setFocus();
    QTest::keyClick(w.btnEnd, Qt::Key(key));
    QVERIFY(w.isVisible()); // Space would have clicked End had it reached the button
    QVERIFY(w.btnStart->isEnabled());
}

void tst_ui_windows::escapeClicksStopOnlyWhileEnabled() {
    basTime::TrialCount = 1;
    basTime::Trials[1] = {1, 0, 0, 0, 400, 0, 0};
    frmMain w(m_time);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_Escape); // Stop disabled: swallowed, nothing happens
    QVERIFY(w.btnStart->isEnabled());
    session::startRun(w, u"山田"_qs);
    QVERIFY(w.tmWait->Enabled());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(!w.tmWait->Enabled());
    QVERIFY(w.btnStart->isEnabled());
    QVERIFY(!w.btnStop->isEnabled());
}

// The program ends when its last window closes: the main window, by End between runs or by its
// close box at any time, a run in progress included.
void tst_ui_windows::closingMainWindowEndsProgram_data() {
    QTest::addColumn<bool>("duringRun");
    QTest::addColumn<bool>("byEnd");
    QTest::newRow("End between runs") << false << true;
    QTest::newRow("close box between runs") << false << false;
    QTest::newRow("close box during a run") << true << false;
}

void tst_ui_windows::closingMainWindowEndsProgram() {
    QFETCH(bool, duringRun);
    QFETCH(bool, byEnd);
    QVERIFY(QApplication::quitOnLastWindowClosed());
    basTime::TrialCount = 1;
    basTime::Trials[1] = {1, 0, 0, 0, 400, 0, 0};
    frmMain w(m_time);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    if (duringRun)
        session::startRun(w, u"山田"_qs);
    // The program's event loop runs until the window closes; should it not end, the guard ends
    // it and the test fails.
    QTimer::singleShot(0, &w, [&w, byEnd] {
        if (byEnd)
            QTest::mouseClick(w.btnEnd, Qt::LeftButton);
        else
            w.close(); // what the close box asks for
    });
    bool guarded = false;
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, &guard, [&guarded] {
        guarded = true;
        QCoreApplication::quit();
    });
    guard.start(10'000);
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY2(!guarded, "the event loop went on after the main window closed");
    QVERIFY(!w.isVisible());
    QVERIFY(!frmMessage::isLoaded()); // the message window is never part of a session
}

void tst_ui_windows::messageRoundTrip_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("plain") << u"処理中です"_qs;
    QTest::newRow("line breaks") << u"一行目\n二行目\n\n四行目"_qs;
    QTest::newRow("CR LF") << u"一行目\r\n二行目\r\n"_qs;
    QTest::newRow("lone CR") << u"一行目\r二行目"_qs;
    QTest::newRow("no-break space") << u"A\u00A0B"_qs;
    QTest::newRow("paragraph separator") << u"A\u2029B"_qs;
}

void tst_ui_windows::messageRoundTrip() {
    QFETCH(QString, text);
    frmMessage::instance().setMsg(text);
    QCOMPARE(frmMessage::instance().Msg(), text);
    frmMessage::unload();
    QCOMPARE(frmMessage::instance().Msg(), QString()); // loaded anew: empty
    frmMessage::unload();
}

void tst_ui_windows::messageLoadsWithoutShowing() {
    QVERIFY(!frmMessage::isLoaded());
    frmMessage::instance().setMsg(u"x"_qs);
    QVERIFY(frmMessage::isLoaded());
    QVERIFY(!frmMessage::instance().isVisible());
    frmMessage::unload();
}

void tst_ui_windows::messageFocusNeverStaysOnText() {
    frmMessage &m = frmMessage::instance();
    m.setMsg(u"読むだけの文"_qs);
    m.show();
    QVERIFY(QTest::qWaitForWindowActive(&m));
    QCOMPARE(QApplication::focusWidget(), m.btnDummy);
    QTest::mouseClick(m.txtMessage->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
    QCOMPARE(QApplication::focusWidget(), m.btnDummy);
    QVERIFY(!m.txtMessage->textCursor().hasSelection());
    m.txtMessage->setFocus();
    QCOMPARE(QApplication::focusWidget(), m.btnDummy);
    QTest::keyClick(m.btnDummy, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), m.btnDummy);
    QTest::keyClick(m.btnDummy, Qt::Key_Space); // presses the hidden button, which does nothing
    QCOMPARE(m.Msg(), u"読むだけの文"_qs);
    frmMessage::unload();
}

// The message window and its controls where the layout puts them (geometry::MessageWindow).
void tst_ui_windows::messageGeometry_data() {
    geometry::addRows(geometry::MessageWindow);
}

void tst_ui_windows::messageGeometry() {
    geometry::check(frmMessage::instance());
    frmMessage::unload();
}

void tst_ui_windows::messageWindow() {
    frmMessage &m = frmMessage::instance();
    QCOMPARE(m.windowTitle(), u"Message"_qs);
    QVERIFY(m.txtMessage->geometry().contains(m.btnDummy->geometry())); // the button hides behind the text
    QCOMPARE(m.btnDummy->text(), u"Command1"_qs);
    QCOMPARE(m.txtMessage->font().pointSizeF(), 12.0);
    QVERIFY(m.txtMessage->isReadOnly());
    QVERIFY(!(m.windowFlags() & Qt::WindowCloseButtonHint));
    QVERIFY(!(m.windowFlags() & Qt::WindowSystemMenuHint));
    // The text box lies on top of the button.
    const auto kids = m.findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    QVERIFY(kids.indexOf(m.txtMessage) > kids.indexOf(m.btnDummy));
    frmMessage::unload();
}

// Every window carries the program's icon in its sizes, the smallest for a title bar among them.
void tst_ui_windows::everyWindowHasTheProgramIcon_data() {
    QTest::addColumn<QString>("window");
    QTest::newRow("main window") << u"frmMain"_qs;
    QTest::newRow("results window") << u"frmResult"_qs;
    QTest::newRow("message window") << u"frmMessage"_qs;
}

void tst_ui_windows::everyWindowHasTheProgramIcon() {
    QFETCH(QString, window);
    std::unique_ptr<QWidget> owned;
    QWidget *w = nullptr;
    if (window == u"frmMain"_qs)
        w = (owned = std::make_unique<frmMain>(m_time)).get();
    else if (window == u"frmResult"_qs)
        w = (owned = std::make_unique<frmResult>()).get();
    else
        w = &frmMessage::instance();
    const QList<QSize> sizes = w->windowIcon().availableSizes();
    QVERIFY2(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(256, 256)),
             qPrintable(u"%1 icon sizes"_qs.arg(sizes.size())));
    if (window == u"frmMessage"_qs)
        frmMessage::unload();
}

// The main window's run works on the program-wide state: its Analyze leaves the statistics of the
// program-wide trials where the results window reads them (what those statistics are is
// tst_analysis's); a fresh state is all zero.
void tst_ui_windows::programStateIsTheRunsState() {
    basTime::Trials[1] = {1, 0, 5, 0, 1200, 0, 800};
    basTime::Trials[2] = {1, 0, 5, 1, 400, 0, 700};
    basTime::TrialCount = 2;
    kivora::RunStats ofTheseTrials;
    kivora::Analyze(basTime::Trials, basTime::TrialCount, ofTheseTrials);
    QVERIFY(ofTheseTrials != kivora::RunStats{});
    frmMain w(m_time);
    w.Analyze();
    QCOMPARE(basTime::Stats, ofTheseTrials);
    basTime::reset();
    QCOMPARE(basTime::Trials[1], kivora::TrialRec{});
    QCOMPARE(basTime::TrialCount, qint16(0));
    QCOMPARE(basTime::Stats, kivora::RunStats{});
}

QTEST_MAIN(tst_ui_windows)
#include "tst_ui_windows.moc"
