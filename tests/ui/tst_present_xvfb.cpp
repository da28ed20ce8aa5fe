// The real frame-locked path on a real X server (the Xvfb that scripts/test starts, given as
// KIVORA_TEST_DISPLAY; skipped without it): pictures presented with the Present extension,
// onsets from its completion events, key presses stamped by the XInput 2 reader. Three short
// trials: the stages are shortened to a few refreshes so that the test takes seconds.
#include "base/Clock.h"
#include "base/Fonts.h"
#include "base/KeyStamps.h"
#include "platform/KeyReader.h"
#include "session/Presenter.h"
#include "support/RunRecorder.h"
#include "support/SessionDriver.h"
#include "ui/FramePresenter.h"
#include "ui/basTime.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

using kivora::TrialRec;

class tst_present_xvfb : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void screensInRefreshesAndKeysStamped();
};

void tst_present_xvfb::initTestCase() {
    if (QGuiApplication::platformName() != u"xcb"_qs)
        QSKIP("needs the X server of KIVORA_TEST_DISPLAY");
    kivora::installFontSubstitutes();
}

namespace {
// Presses and releases an X key through XTest, as a keyboard would: the X server stamps nothing,
// it hands the press to every client that asked for it.
void pressOnServer(quint8 keycode) {
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    xcb_test_fake_input(c, XCB_KEY_PRESS, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_test_fake_input(c, XCB_KEY_RELEASE, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); // sent and handled
    xcb_disconnect(c);
}
} // namespace

void tst_present_xvfb::screensInRefreshesAndKeysStamped() {
    basTime::reset();
    const QList<qint16> presentTimes{50, 100, 33};
    basTime::TrialCount = qint16(presentTimes.size());
    for (int t = 1; t <= presentTimes.size(); ++t)
        basTime::Trials[t] =
            TrialRec{qint16(1 + t % 4), 0, qint16(t % 6), qint16(t % 2), presentTimes[t - 1], 0, 0};

    kivora::SystemTimeSource time;
    frmMain w(time);
    QString why;
    std::unique_ptr<kivora::Presenter> presenter = kivora::makeFramePresenter(w.Image1, &why);
    QVERIFY2(presenter, qPrintable(why));
    w.setPresenter(std::move(presenter));
    kivora::KeyStamps stamps;
    const std::unique_ptr<kivora::KeyReader> reader = kivora::KeyReader::start(stamps);
    QVERIFY2(reader, "the X server offers XInput 2 raw key presses");
    QCOMPARE(QByteArray(kivora::KeyReader::sourceOf(reader.get())), "xinput2");
    w.setKeyStamps(&stamps);
    RunRecorder rec;
    w.addObserver(&rec);
    // A few refreshes each instead of a second and two.
    w.tmWait->setInterval(100);
    w.tmPrim->setInterval(150);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QSignalSpy ready(&w.presenter(), &kivora::Presenter::ready);
    QVERIFY(w.presenter().isReady() || ready.wait(5000));
    const kivora::DisplayInfo display = w.presenter().displayInfo();
    QCOMPARE(display.mode, kivora::PresentMode::Present);
    QVERIFY2(display.periodUs > 10'000 && display.periodUs < 25'000,
             qPrintable(QString::number(display.periodUs)));

    session::startRun(w, u"xvfb"_qs);
    for (int t = 1; t <= presentTimes.size(); ++t) {
        QTRY_VERIFY_WITH_TIMEOUT(
            w.awaitingAnswer() && rec.lastShown.contains(u"test"_qs) &&
                rec.events.contains(u"test:%1:%2-%3"_qs.arg(t)
                                        .arg(basTime::Trials[t].FigSet)
                                        .arg(basTime::Trials[t].Mirror * 6 + basTime::Trials[t].CueDir + 1)),
            5000);
        const auto shown = rec.lastShown;
        // A refresh the machine missed (it may be busy) is told, by how much; the screen then
        // lasts that much longer, and the next one counts from it.
        const auto late = [&](const QString &screen) {
            static const QRegularExpression told(u"^late_flip:(\\w+):(\\d+):(\\d+)>(\\d+)$"_qs);
            qint64 refreshes = 0;
            for (const QString &e : rec.events)
                if (const auto m = told.match(e);
                    m.hasMatch() && m.captured(1) == screen && m.captured(2).toInt() == t)
                    refreshes += m.captured(3).toLongLong() - m.captured(4).toLongLong();
            return refreshes;
        };
        // Each screen for the whole refreshes of its interval (refreshesFor:
        // tst_trialrun::refreshArithmetic), counted from the one before.
        const auto frames = [&](qint32 ms) { return qint64(kivora::refreshesFor(ms, display.periodUs)); };
        QCOMPARE(shown[u"first"_qs].msc - shown[u"countdown"_qs].msc, frames(100) + late(u"first"_qs));
        QCOMPARE(shown[u"cue"_qs].msc - shown[u"first"_qs].msc, frames(150) + late(u"cue"_qs));
        QCOMPARE(shown[u"test"_qs].msc - shown[u"cue"_qs].msc,
                 frames(presentTimes[t - 1]) + late(u"test"_qs));
        // The onsets are the display's own: so many periods apart, within the Xvfb clock's jitter.
        const qint64 cueUs = shown[u"test"_qs].us - shown[u"cue"_qs].us;
        QVERIFY2(std::abs(cueUs - (frames(presentTimes[t - 1]) + late(u"test"_qs)) * display.periodUs) <
                     2'000,
                 qPrintable(u"cue on screen %1 us"_qs.arg(cueUs)));

        // After the last answer the results window opens, modal: closed from inside its loop.
        QTimer closer;
        if (t == presentTimes.size()) {
            connect(&closer, &QTimer::timeout, [] {
                if (auto *results = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                    results->accept();
            });
            closer.start(50);
        }
        const qint64 sentUs = kivora::SteadyClock::instance().nowUs();
        pressOnServer(10); // key 1 of the main keyboard
        QTRY_COMPARE_WITH_TIMEOUT(rec.answers.size(), t, 2000);
        const kivora::AnswerTiming &answer = rec.answers.last();
        QCOMPARE(answer.cueUs, cueUs);
        QCOMPARE(answer.rtUs, answer.keyUs - shown[u"test"_qs].us);
        // Stamped on arrival by the reader: after the send, before the key filter's handling.
        QVERIFY2(answer.keyUs >= sentUs && answer.keyUs - sentUs < 50'000,
                 qPrintable(u"key stamped %1 us after it was sent"_qs.arg(answer.keyUs - sentUs)));
        if (t < presentTimes.size())
            QTRY_VERIFY_WITH_TIMEOUT(rec.events.last().startsWith(u"countdown:%1:"_qs.arg(t + 1)), 2000);
        else
            QTRY_VERIFY_WITH_TIMEOUT(rec.events.contains(u"results_closed"_qs), 10000);
    }
    w.setKeyStamps(nullptr);
}

int main(int argc, char **argv) {
    // A real X server instead of the offscreen platform the other tests run on.
    const QByteArray display = qgetenv("KIVORA_TEST_DISPLAY");
    if (!display.isEmpty()) {
        qputenv("DISPLAY", display);
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Kivora"_qs);
    tst_present_xvfb test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_present_xvfb.moc"
