// Whole sessions on the real main window with fake time: the name question, answers sent as
// physical keys while a button has the focus, their stamps by the physical key, Enter during a
// run, an empty plan, and the modal results window. The rules of the run itself (stages, answers,
// Stop, recorders) are tested on the run alone (tests/session).
#include "base/Fonts.h"
#include "base/KeyStamps.h"
#include "results/ResultData.h"
#include "run/Stage.h"
#include "session/Participant.h"
#include "support/InLanguage.h"
#include "support/RunRecorder.h"
#include "support/SessionDriver.h"

#include <QFontInfo>
#include <QMessageBox>

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

    void wholeRun_data();
    void wholeRun();
    void answerKeys_data();
    void answerKeys();
    void keyStampOfThePhysicalKey_data();
    void keyStampOfThePhysicalKey();
    void nameQuestion_data();
    void nameQuestion();
    void enterDuringRunStopsNothing();
    void emptyPlanStartsNothing();
    void participantCode();
    void participantCodeOffered_data();
    void participantCodeOffered();

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

// A whole run in each language: the name question, and under the picture and in the results
// window the texts the run and the summary make (their words are the units' and the translation's
// to check); the longest of them fit their controls, uncut.
void tst_main_session::wholeRun_data() {
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("prompt");
    QTest::newRow("Japanese") << u"ja"_qs << u"氏名を入力してください"_qs;
    QTest::newRow("English") << u"en"_qs << u"Please enter your name."_qs;
}

void tst_main_session::wholeRun() {
    QFETCH(QString, language);
    QFETCH(QString, prompt);
    const InLanguage in(language);
    delete m_w; // made again in the language, as start-up makes it once the language is in use
    m_w = new frmMain(m_time);
    m_w->show();
    QVERIFY(QTest::qWaitForWindowActive(m_w));
    QString asked;
    answerName(u"山田"_qs, true, &asked);
    QTest::mouseClick(m_w->btnStart, Qt::LeftButton);
    QVERIFY(QTest::qWaitForWindowActive(m_w));
    QCOMPARE(asked.section(u'|', 0, 0), prompt);
    QCOMPARE(basTime::SubjectName, u"山田"_qs);
    QCOMPARE(QApplication::focusWidget(), m_w->btnStop); // answers arrive while a button has the focus
    toTestFigure(m_time, *m_w);
    const QString question = kivora::Stage(kivora::Stage::Test).caption(basTime::TrialCount);
    QCOMPARE(m_w->lMsg->text(), question);
    const qreal questionWidth = QFontMetricsF(m_w->lMsg->font()).horizontalAdvance(question);
    QVERIFY2(questionWidth <= m_w->lMsg->width(),
             qPrintable(u"%1 px wide in %2, the label %3 px"_qs.arg(questionWidth)
                            .arg(QFontInfo(m_w->lMsg->font()).family())
                            .arg(m_w->lMsg->width())));
    m_time.advanceMs(612);
    press(Main1);
    QCOMPARE(basTime::Trials[1].RT, 612);
    QCOMPARE(basTime::Trials[1].Answer, qint16(0));
    QCOMPARE(m_w->lMsg->text(), kivora::Stage(kivora::Stage::Countdown).caption(2));
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
             kivora::summaryText(basTime::CorrectCount, basTime::TrialCount, basTime::StatTable[0][0].Mean)
                 .replace(u"\r\n"_qs, u"\n"_qs));
    QVERIFY(m_results.summaryFits);
    QCOMPARE(m_w->Image1->picture(), instructionPicture(*m_w));
    QCOMPARE(buttons(*m_w), u"S-E"_qs);
    QCOMPARE(m_w->lMsg->text(), QString());
    QVERIFY(QTest::qWaitForWindowActive(m_w)); // the main window takes the keys back
    press(Main1);                              // a key in Ready after the run opens no second results window
    QCOMPARE(m_results.shown, 1);
    QCOMPARE(buttons(*m_w), u"S-E"_qs);
}

// Physical keys as the window system delivers them, with their modifiers and native numbers,
// reach the key handler through the key preview while Stop has the focus (the plain keys 1 and 2
// and keypad 2 answer in wholeRun). Which physical key is which code (Shift, the layouts, NumLock)
// is the key codes' own table (tst_base::keyCodes), and which code is which answer the run's
// (tst_trialrun::answerCodes).
void tst_main_session::answerKeys_data() {
    QTest::addColumn<int>("which");
    QTest::addColumn<int>("answer");
    QTest::newRow("shift+1") << 2 << 0;
    QTest::newRow("keypad 1") << 4 << 0;
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

// The key preview takes the stamp of the key's own physical number for the press, and none for
// an auto-repeat: a held key is no press of its own.
void tst_main_session::keyStampOfThePhysicalKey_data() {
    QTest::addColumn<bool>("autoRepeat");
    QTest::newRow("press") << false;
    QTest::newRow("auto-repeat") << true;
}

void tst_main_session::keyStampOfThePhysicalKey() {
    QFETCH(bool, autoRepeat);
    kivora::KeyStamps stamps;
    m_w->setKeyStamps(&stamps);
    RunRecorder rec;
    m_w->addObserver(&rec);
    startRun(*m_w, u"山田"_qs);
    toTestFigure(m_time, *m_w);
    const qint64 pressedUs = m_time.nowUs() + 250'000;
    stamps.add(Main2.native.scan, pressedUs);
    m_time.setNowUs(pressedUs + 1'000); // the handler sees the key 1 ms after it was pressed
    QKeyEvent down(QEvent::KeyPress, Main2.qtKey, Main2.mods, Main2.native.scan, Main2.native.virtualKey, 0,
                   QString(), autoRepeat);
    QApplication::sendEvent(QApplication::focusWidget(), &down);
    if (autoRepeat) {
        QVERIFY(rec.answers.isEmpty()); // a repeat answers nothing
        QVERIFY(m_w->awaitingAnswer());
    } else {
        QCOMPARE(rec.answers.size(), 1);
        QCOMPARE(rec.answers[0].keyUs, pressedUs);
    }
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

// Runs of participant codes: the question asks for a code, a code that breaks the rule is
// refused with the rule and asked for again (what was typed kept), and the code stands where the
// name stood.
void tst_main_session::participantCode() {
    m_w->setSubjects(kivora::SubjectMode::Code, QString());
    QString question, refusal, again;
    onNextModal<QInputDialog>([&](QInputDialog *d) {
        question = d->labelText();
        QCOMPARE(d->textValue(), QString()); // nothing offered
        d->setTextValue(u"山田 花子"_qs);
        onNextModal<QMessageBox>([&](QMessageBox *b) {
            refusal = b->text();
            onNextModal<QInputDialog>([&](QInputDialog *d2) {
                again = d2->textValue();
                d2->setTextValue(u"s-07"_qs);
                d2->accept();
            });
            b->accept();
        });
        d->accept();
    });
    QTest::mouseClick(m_w->btnStart, Qt::LeftButton);
    QCOMPARE(question, u"参加者コードを入力してください"_qs);
    QCOMPARE(refusal, kivora::participantCodeRule());
    QCOMPARE(again, u"山田 花子"_qs);
    QCOMPARE(basTime::SubjectName, u"s-07"_qs);
    QVERIFY(basTime::State.SubjectIsCode);
    QCOMPARE(buttons(*m_w), u"-T-"_qs);
}

// Auto: a fresh code is offered, P and six digits, and taken as it is. A code whose data file
// another PC made meanwhile is refused by the recorder, and another is offered; a run that cannot
// start for any other reason asks no more.
void tst_main_session::participantCodeOffered_data() {
    QTest::addColumn<QList<int>>("refusals"); // the recorder's refusals of the run starts, in turn
    QTest::addColumn<int>("asked");
    QTest::addColumn<QString>("buttonsAfter");
    QTest::newRow("taken as offered") << QList<int>{} << 1 << u"-T-"_qs;
    QTest::newRow("taken meanwhile by another PC")
        << QList<int>{kivora::ErrFileAlreadyExists} << 2 << u"-T-"_qs;
    QTest::newRow("a data folder that cannot be written")
        << QList<int>{kivora::ErrPathFileAccess} << 1 << u"S-E"_qs;
}

void tst_main_session::participantCodeOffered() {
    QFETCH(QList<int>, refusals);
    QFETCH(int, asked);
    QFETCH(QString, buttonsAfter);
    RunRecorder recorder;
    recorder.startRefusals = refusals;
    m_w->addObserver(&recorder);
    m_w->setSubjects(kivora::SubjectMode::Auto, QString());
    QStringList offered;
    std::function<void()> answer = [&] {
        onNextModal<QInputDialog>([&](QInputDialog *d) {
            offered << d->textValue();
            d->accept();
            answer(); // for a question that may come next
        });
    };
    answer();
    QTest::mouseClick(m_w->btnStart, Qt::LeftButton);
    QCOMPARE(offered.size(), asked);
    for (const QString &code : offered)
        QVERIFY2(QRegularExpression(u"\\AP\\d{6}\\z"_qs).match(code).hasMatch(), qPrintable(code));
    QCOMPARE(basTime::SubjectName, offered.last());
    QCOMPARE(buttons(*m_w), buttonsAfter);
}

QTEST_MAIN(tst_main_session)
#include "tst_main_session.moc"
