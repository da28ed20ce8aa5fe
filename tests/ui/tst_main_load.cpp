// The main window's load step: the plan from the program's own folder, whatever folder the
// program was started in; the table filled and nothing else touched; a bad plan refused.
#include "base/Fonts.h"
#include "run/PlanReader.h"
#include "support/PlanCorpus.h"
#include "support/SessionDriver.h"

#include <QDir>
#include <QTemporaryDir>

using kivora::TrialRec;
using session::writeFile;

class tst_main_load : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { kivora::installFontSubstitutes(); }
    void init();
    void cleanup();
    void readsPlanFromProgramFolder();
    void explicitPlanFile();
    void refusedPlans_data();
    void refusedPlans();

private:
    QString m_programPlan;
    QString m_startDir;
    FakeTime m_time;
};

void tst_main_load::init() {
    basTime::reset();
    m_startDir = QDir::currentPath();
    m_programPlan = QCoreApplication::applicationDirPath() + u"/sequence.csv"_qs;
    // Leftovers of a previous run must not stand in for the plan under test.
    QFile::remove(m_programPlan);
    // Sentinels: the load step writes only the plan fields of records 1..TrialCount.
    for (int i = 0; i <= 144; ++i)
        basTime::Trials[i] = TrialRec{9, 9, 9, 9, 9, 7, 77};
}

void tst_main_load::cleanup() {
    QFile::remove(m_programPlan);
    QDir::setCurrent(m_startDir);
}

void tst_main_load::readsPlanFromProgramFolder() {
    QVERIFY(writeFile(m_programPlan, "1,0,3,0,1200\r\n2,0,2,1,400\r\n4,0,5,1,800\r\n"));
    QTemporaryDir elsewhere; // started from another folder, which holds a plan of its own
    QVERIFY(writeFile(elsewhere.filePath(u"sequence.csv"_qs), "3,0,0,0,400\r\n"));
    QDir::setCurrent(elsewhere.path());
    frmMain w(m_time);
    w.Form_Load();
    QCOMPARE(QDir::currentPath(), QCoreApplication::applicationDirPath());
    QCOMPARE(basTime::TrialCount, qint16(3));
    QCOMPARE(basTime::Trials[1], (TrialRec{1, 0, 3, 0, 1200, 7, 77}));
    QCOMPARE(basTime::Trials[3], (TrialRec{4, 0, 5, 1, 800, 7, 77}));
    QCOMPARE(basTime::Trials[0], (TrialRec{9, 9, 9, 9, 9, 7, 77}));
    QCOMPARE(basTime::Trials[4], (TrialRec{9, 9, 9, 9, 9, 7, 77}));
    QCOMPARE(w.Image1->picture(), &w.ImageList[0].ListImages(u"instruction"_qs));
}

void tst_main_load::explicitPlanFile() {
    QTemporaryDir dir;
    const QString plan = dir.filePath(u"my plan.csv"_qs);
    QVERIFY(writeFile(plan, ""));
    frmMain w(m_time);
    w.setPlanFile(plan);
    w.Form_Load();
    QCOMPARE(basTime::TrialCount, qint16(0)); // an empty plan: no trials, no error
    QCOMPARE(w.Image1->picture(), &w.ImageList[0].ListImages(u"instruction"_qs));
}

// A plan the reader refuses stops the load step with the reader's error, naming the program's
// own sequence.csv (what the reader refuses, and where: tst_run_plan).
void tst_main_load::refusedPlans_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("line");
    QTest::newRow("missing") << QByteArray() << int(kivora::ErrFileNotFound) << 0;
    QTest::newRow("seventh time") << plans::corpusFile(u"bad-seventh-time.csv"_qs)
                                  << int(kivora::ErrInvalidProperty) << 7;
}

void tst_main_load::refusedPlans() {
    QFETCH(QByteArray, content);
    QFETCH(int, number);
    QFETCH(int, line);
    if (!content.isEmpty())
        QVERIFY(writeFile(m_programPlan, content));
    frmMain w(m_time);
    try {
        w.Form_Load();
        QFAIL("plan accepted");
    } catch (const kivora::PlanError &e) {
        QCOMPARE(e.number(), number);
        QCOMPARE(e.line(), line);
        QVERIFY(e.detail().contains(u"sequence.csv"_qs));
    }
    QCOMPARE(w.Image1->picture(), nullptr); // start-up stopped before the instruction screen
}

QTEST_MAIN(tst_main_load)
#include "tst_main_load.moc"
