// Whole sessions on the real main window with fake time: the name question, answers sent as
// physical keys while a button has the focus, swallowed keys, Stop, a second run, the results
// window once, and what is kept on disk.
#include "base/Clock.h"
#include "base/Fonts.h"
#include "results/RunObserver.h"
#include "results/SessionData.h"
#include "support/RunRecorder.h"
#include "support/SessionDriver.h"

#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>

using kivora::TrialRec;

using namespace session;

class tst_main_session : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        kivora::installFontSubstitutes();
        QApplication::setApplicationName(u"Kivora"_qs);
    }
    void init();
    void cleanup() { delete m_w; }

    void wholeRun();
    void answerKeys_data();
    void answerKeys();
    void keysSwallowedInTimedStages_data();
    void keysSwallowedInTimedStages();
    void strayKeysInReadyChangeNothing();
    void nameQuestion_data();
    void nameQuestion();
    void stopAndSecondRun();
    void enterDuringRunStopsNothing();
    void emptyPlanStartsNothing();
    void reactionTimeAcrossClockWrap();
    void stoppedRunLeavesRowsOnDisk();
    void analyzeWritesProgramWideState();

private:
    FakeTime m_time;
    frmMain *m_w = nullptr;
    ResultsSeen m_results;
};

void tst_main_session::init() {
    basTime::reset();
    basTime::TrialCount = 3;
    basTime::Trials[1] = TrialRec{1, 0, 2, 0, 400, 0, 0};
    basTime::Trials[2] = TrialRec{2, 0, 4, 1, 800, 0, 0};
    basTime::Trials[3] = TrialRec{3, 0, 0, 1, 400, 0, 0};
    m_w = new frmMain(m_time);
    m_w->show();
    QVERIFY(QTest::qWaitForWindowActive(m_w));
    m_results = {};
}

void tst_main_session::wholeRun() {
    RunRecorder rec;
    m_w->addObserver(&rec);
    startRun(*m_w, u"山田"_qs);
    QCOMPARE(basTime::SubjectName, u"山田"_qs);
    QCOMPARE(QApplication::focusWidget(), m_w->btnStop); // answers arrive while a button has the focus
    toTestFigure(m_time, *m_w);
    m_time.advanceMs(612);
    press(Main1);
    QCOMPARE(basTime::Trials[1].RT, 612);
    QCOMPARE(basTime::Trials[1].Answer, qint16(0));
    QCOMPARE(m_w->lMsg->text(), u"あと2問"_qs);
    QCOMPARE(buttons(*m_w), u"-T-"_qs); // the focused Stop button did not get the key
    toTestFigure(m_time, *m_w);
    m_time.advanceMs(1500);
    press(Main2);
    QCOMPARE(basTime::Trials[2].RT, 1500);
    QCOMPARE(basTime::Trials[2].Answer, qint16(1));
    toTestFigure(m_time, *m_w);
    m_time.advanceMs(700);
    readResultsWhenShown(*m_w, m_results);
    press(Pad2);
    QCOMPARE(m_results.shown, 1);
    QCOMPARE(m_results.mainPicture, &m_w->ImageList[0].ListImages(u"wait"_qs));
    QCOMPARE(m_results.summary,
             u"正解数： 3 (3問中)\n全平均反応時間： 937ミリ秒"_qs); // (612+1500+700)/3 = 937.33
    QCOMPARE(m_w->Image1->picture(), instructionPicture(*m_w));
    QCOMPARE(buttons(*m_w), u"S-E"_qs);
    QCOMPARE(m_w->lMsg->text(), QString());
    QCOMPARE(basTime::CorrectCount, qint16(3));
    QCOMPARE(rec.events.first(), u"run_start:山田"_qs);
    QCOMPARE(rec.events.mid(1, 5), (QStringList{u"countdown:1:あと3問"_qs, u"first:1:1-1"_qs, u"cue:1:0-3"_qs,
                                                u"test:1:1-3"_qs, u"answer:1:key=1 rt=612"_qs}));
    QVERIFY(QTest::qWaitForWindowActive(m_w));
    QCOMPARE(rec.events.mid(rec.events.size() - 4), (QStringList{u"answer:3:key=2 rt=700"_qs, u"run_end"_qs,
                                                                 u"results_shown"_qs, u"results_closed"_qs}));
    QVERIFY(!rec.events.contains(u"stop"_qs));
    press(Main1); // a key in Ready after the run: nothing happens
    QCOMPARE(m_results.shown, 1);
    QCOMPARE(buttons(*m_w), u"S-E"_qs);
}

void tst_main_session::answerKeys_data() {
    QTest::addColumn<int>("which");
    QTest::addColumn<int>("answer");
    QTest::newRow("main 1") << 0 << 0;
    QTest::newRow("main 2") << 1 << 1;
    QTest::newRow("shift+1") << 2 << 0;
    QTest::newRow("shift+2 japanese layout") << 3 << 1;
    QTest::newRow("keypad 1") << 4 << 0;
    QTest::newRow("keypad 2") << 5 << 1;
}

void tst_main_session::answerKeys() {
    QFETCH(int, which);
    QFETCH(int, answer);
    const Key keys[] = {Main1, Main2, Shift1, Shift2Jp, Pad1, Pad2};
    basTime::Trials[1].Answer = qint16(1 - answer);
    startRun(*m_w, u"山田"_qs);
    toTestFigure(m_time, *m_w);
    press(keys[which]);
    QCOMPARE(basTime::Trials[1].Answer, qint16(answer));
    QCOMPARE(m_w->CurTrial, qint16(2));
}

void tst_main_session::keysSwallowedInTimedStages_data() {
    QTest::addColumn<int>("atMs"); // time into the trial
    QTest::newRow("countdown") << 10;
    QTest::newRow("first figure") << 1500;
    QTest::newRow("cue") << 3200;
}

void tst_main_session::keysSwallowedInTimedStages() {
    QFETCH(int, atMs);
    basTime::Trials[1].Answer = 7;
    startRun(*m_w, u"山田"_qs);
    m_time.advanceMs(atMs);
    for (const Key &k : {Main1, Main2, Pad1, Pad2, Shift1, LetterA})
        press(k);
    QCOMPARE(basTime::Trials[1].Answer, qint16(7));
    QCOMPARE(basTime::Trials[1].RT, 0);
    QCOMPARE(m_w->CurTrial, qint16(1));
    QCOMPARE(buttons(*m_w), u"-T-"_qs);
    toTestFigure(m_time, *m_w); // the trial goes on as planned
    QVERIFY(m_w->awaitingAnswer());
    for (const Key &k : {LetterA, Main3, Pad1NumLockOff}) // not answers: the figure keeps waiting
        press(k);
    QVERIFY(m_w->awaitingAnswer());
    QCOMPARE(basTime::Trials[1].Answer, qint16(7));
}

void tst_main_session::strayKeysInReadyChangeNothing() {
    const auto before = basTime::Trials;
    // A stray key taken for a last answer would open the results window: it would be read (and
    // counted) and closed from inside its loop.
    readResultsWhenShown(*m_w, m_results);
    press(Main1); // before the first run: CurTrial is 0
    QCOMPARE(basTime::Trials, before);
    QVERIFY(!m_w->tmWait->Enabled());
    startRun(*m_w, u"山田"_qs);
    toTestFigure(m_time, *m_w);
    QTest::mouseClick(m_w->btnStop, Qt::LeftButton);
    const auto afterStop = basTime::Trials;
    readResultsWhenShown(*m_w, m_results);
    press(Main2); // after Stop, with the old test figure's StartTime still set
    readResultsWhenShown(*m_w, m_results);
    press(Pad1);
    QCOMPARE(basTime::Trials, afterStop);
    QVERIFY(!m_w->tmWait->Enabled());
    QCOMPARE(buttons(*m_w), u"S-E"_qs);
    QCOMPARE(m_results.shown, 0);
}

void tst_main_session::nameQuestion_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<bool>("starts");
    QTest::newRow("name") << u"Jane"_qs << true << true;
    QTest::newRow("blanks only") << u"   "_qs << true << true;
    QTest::newRow("empty") << QString() << true << false;
    QTest::newRow("cancel") << u"typed then cancelled"_qs << false << false;
}

void tst_main_session::nameQuestion() {
    QFETCH(QString, name);
    QFETCH(bool, accept);
    QFETCH(bool, starts);
    basTime::SubjectName = u"previous"_qs;
    answerName(name, accept);
    QTest::mouseClick(m_w->btnStart, Qt::LeftButton);
    QCOMPARE(basTime::SubjectName, accept ? name : QString());
    QCOMPARE(buttons(*m_w), starts ? u"-T-"_qs : u"S-E"_qs);
    QCOMPARE(m_w->tmWait->Enabled(), starts);
}

void tst_main_session::stopAndSecondRun() {
    RunRecorder rec;
    m_w->addObserver(&rec);
    startRun(*m_w, u"山田"_qs);
    toTestFigure(m_time, *m_w);
    m_time.advanceMs(500);
    press(Main2);
    m_time.advanceMs(1200); // in the second trial's first figure
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QCOMPARE(buttons(*m_w), u"S-E"_qs);
    QCOMPARE(m_w->CurTrial, qint16(2)); // Stop keeps CurTrial
    QCOMPARE(m_w->Image1->picture(), instructionPicture(*m_w));
    QCOMPARE(timersArmed(*m_w), u"---"_qs);
    QCOMPARE(rec.events.last(), u"stop"_qs);
    m_time.advanceMs(10000); // nothing of the broken-off trial comes back
    QCOMPARE(m_w->Image1->picture(), instructionPicture(*m_w));

    startRun(*m_w, u"second"_qs);
    QCOMPARE(m_w->CurTrial, qint16(1));
    QCOMPARE(m_w->lMsg->text(), u"あと3問"_qs);
    toTestFigure(m_time, *m_w);
    m_time.advanceMs(321);
    press(Main1);
    QCOMPARE(basTime::Trials[1].RT, 321); // the new run overwrites the answer
    QCOMPARE(basTime::Trials[1].Answer, qint16(0));
}

void tst_main_session::enterDuringRunStopsNothing() {
    startRun(*m_w, u"山田"_qs);
    QCOMPARE(QApplication::focusWidget(), m_w->btnStop);
    press(KeypadEnter); // right beside the keypad's answer keys
    press(MainEnter);
    QCOMPARE(buttons(*m_w), u"-T-"_qs);
    QVERIFY(m_w->tmWait->Enabled());
    toTestFigure(m_time, *m_w);
    press(MainEnter);
    QVERIFY(m_w->awaitingAnswer());
    press(Pad1);
    QCOMPARE(basTime::Trials[1].Answer, qint16(0));
}

void tst_main_session::emptyPlanStartsNothing() {
    basTime::TrialCount = 0;
    QString shown;
    onNextModal<QMessageBox>([&shown](QMessageBox *box) {
        shown = box->text();
        box->accept();
    });
    QTest::mouseClick(m_w->btnStart, Qt::LeftButton);
    QVERIFY2(shown.contains(u"試行がありません"_qs), qPrintable(shown));
    QCOMPARE(buttons(*m_w), u"S-E"_qs);
    QVERIFY(!m_w->tmWait->Enabled());
}

void tst_main_session::reactionTimeAcrossClockWrap() {
    // The 32-bit millisecond clock passes from 2147483647 to -2147483648 during the answer.
    m_time.setNowUs((qint64(1) << 31) * 1000 - 4'000'000);
    startRun(*m_w, u"山田"_qs);
    toTestFigure(m_time, *m_w);
    QVERIFY(m_w->StartTime > 0);
    m_time.advanceMs(1000);
    QVERIFY(kivora::Clock::toMs32(m_time.nowUs()) < 0);
    press(Main1);
    QCOMPARE(basTime::Trials[1].RT, 1000);
}

void tst_main_session::stoppedRunLeavesRowsOnDisk() {
    basTime::TrialCount = 12;
    for (int i = 1; i <= 12; ++i)
        basTime::Trials[i] = TrialRec{qint16(1 + i % 4), 0, qint16(i % 6), qint16(i % 2), 400, 0, 0};
    QTemporaryDir dir;
    kivora::SessionData data(dir.path());
    m_w->addObserver(&data);
    startRun(*m_w, u"=HYPERLINK(\"x\")"_qs);
    for (int t = 1; t <= 5; ++t) {
        toTestFigure(m_time, *m_w);
        m_time.advanceMs(400 + t);
        press(t % 2 ? Main1 : Main2);
    }
    m_time.advanceMs(1500);
    QTest::mouseClick(m_w->btnStop, Qt::LeftButton);
    const QStringList files = QDir(dir.path()).entryList(QDir::Files);
    QCOMPARE(files.size(), 1);
    QFile f(dir.filePath(files.first()));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList rows = QString::fromUtf8(f.readAll()).split(u"\r\n"_qs, Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 6);
    QVERIFY(rows[5].startsWith(u"\"'=HYPERLINK(\"\"x\"\")\","_qs));
    QVERIFY2(rows[5].endsWith(u",5,2,0,5,1,400,0,0,405,405000,400000,"_qs),
             qPrintable(rows[5])); // order_seed empty
}

// The window's Analyze reads the program-wide trial table and leaves its statistics there,
// for the results window to read.
void tst_main_session::analyzeWritesProgramWideState() {
    basTime::Trials[1] = TrialRec{1, 0, 5, 0, 1200, 0, 800};
    basTime::Trials[2] = TrialRec{1, 0, 5, 1, 400, 0, 700};
    basTime::TrialCount = 2;
    m_w->Analyze();
    QCOMPARE(basTime::TimeCount, qint16(2));
    QCOMPARE(basTime::TimeList[1], qint16(1200));
    QCOMPARE(basTime::TimeList[2], qint16(400));
    QCOMPARE(basTime::CorrectCount, qint16(1));
    QCOMPARE(basTime::StatTable[0][0], (kivora::StatCell{2, 1500, 750.0}));
    QCOMPARE(basTime::StatTable[2][5], (kivora::StatCell{1, 700, 700.0}));
}

QTEST_MAIN(tst_main_session)
#include "tst_main_session.moc"
