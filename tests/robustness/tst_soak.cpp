// Long use: thirty complete runs of a twelve-trial plan in one life of the main window, with
// broken-off runs in between, as a lab day with many participants would go. Every completed run
// must give the same statistics, the same summary and the same results picture, and the process
// must not grow: a results window, chart or name dialog left behind per run would show here
// first as a widget count, then as memory.
#include "support/SessionDriver.h"

#include "base/Fonts.h"
#include "results/SessionData.h"
#include "ui/frmResult.h"

#include <QDir>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
constexpr bool SanitizerBuild = true;
#else
constexpr bool SanitizerBuild = false;
#endif

using namespace session;

namespace {

// KIVORA_SOAK_RUNS=300 makes a longer day of it; the figures below still compare run 1 with the last.
int completedRuns() {
    bool ok = false;
    const int n = qEnvironmentVariableIntValue("KIVORA_SOAK_RUNS", &ok);
    return ok && n >= 2 ? n : 30;
}
const int CompletedRuns = completedRuns();
constexpr qint64 AllowedGrowthBytes = 4 * 1024 * 1024;

// Resident set size, bytes. Freed heap is handed back first, so what remains is what is held.
qint64 residentBytes() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
    QFile f(u"/proc/self/statm"_qs);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = f.readAll().simplified().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : -1;
}

struct ObjectCounts {
    qsizetype widgets = 0;     // every widget of the application
    qsizetype topLevels = 0;   // windows and dialogs, hidden ones too
    qsizetype mainObjects = 0; // QObjects below the main window
    qsizetype appObjects = 0;  // QObjects below the application object
    bool operator==(const ObjectCounts &) const = default;
    QString text() const {
        return u"%1 widgets, %2 top-level, %3 objects in the main window, %4 under the application"_qs
            .arg(widgets)
            .arg(topLevels)
            .arg(mainObjects)
            .arg(appObjects);
    }
};

ObjectCounts countObjects(const frmMain &w) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return {QApplication::allWidgets().size(), QApplication::topLevelWidgets().size(),
            w.findChildren<QObject *>().size(), qApp->findChildren<QObject *>().size()};
}

QString describe(const kivora::RunStats &s) {
    QString out = u"correct %1, times %2:"_qs.arg(s.CorrectCount).arg(s.TimeCount);
    for (int j = 0; j <= 6; ++j)
        for (int k = 0; k <= 6; ++k)
            if (s.StatTable[j][k].Count)
                out += u" [%1,%2] n=%3 sum=%4"_qs.arg(j)
                           .arg(k)
                           .arg(s.StatTable[j][k].Count)
                           .arg(s.StatTable[j][k].Total);
    return out;
}

// How a broken-off run ends.
enum class StopKind { ButtonDuringCue, EscapeOnTestFigure, ButtonDuringCountdown };

// A broken-off run: after which completed run it comes, how it ends, and how many trials the
// participant answers before that.
struct StopPlan {
    int afterRun;
    StopKind kind;
    int rowsAnswered;
};
const StopPlan Stops[] = {
    {3, StopKind::ButtonDuringCue, 6},        {8, StopKind::EscapeOnTestFigure, 3},
    {13, StopKind::ButtonDuringCountdown, 0}, {18, StopKind::ButtonDuringCue, 6},
    {23, StopKind::EscapeOnTestFigure, 3},    {28, StopKind::ButtonDuringCountdown, 0},
};

// The broken-off runs that fall within the completed runs (fewer with a short KIVORA_SOAK_RUNS).
QList<StopPlan> stopsDue() {
    QList<StopPlan> due;
    for (const StopPlan &stop : Stops)
        if (stop.afterRun <= CompletedRuns)
            due << stop;
    return due;
}

// Start times of the runs as the data folder sees them: seven minutes apart, as a day of
// participants might be.
class RunClock {
public:
    QDateTime next() {
        const QDateTime t = QDateTime(QDate(2026, 3, 2), QTime(9, 0, 0)).addSecs(qint64(m_calls) * 7 * 60);
        ++m_calls;
        return t;
    }

private:
    int m_calls = 0;
};

} // namespace

class tst_soak : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void manyRunsInOneLife_data();
    void manyRunsInOneLife();

private:
    void completeRun(ResultsSeen &seen);
    void brokenOffRun(const StopPlan &stop);
    void checkDataFolder(const QString &folder);

    QTemporaryDir m_tmp;
    QString m_planPath;
    FakeTime m_time;
    frmMain *m_w = nullptr;
};

void tst_soak::initTestCase() {
    quietOffscreenNoise();
    kivora::installFontSubstitutes();
    QApplication::setApplicationName(u"Kivora"_qs);
    QVERIFY(m_tmp.isValid());
    m_planPath = m_tmp.filePath(u"twelve.csv"_qs);
    QVERIFY(writeFile(m_planPath, twelveTrialPlan()));
}

void tst_soak::init() {
    basTime::reset();
    m_w = new frmMain(m_time);
    m_w->setPlanFile(m_planPath);
    m_w->Form_Load();
    QCOMPARE(basTime::TrialCount, qint16(PlanTrials));
    m_w->show();
    QVERIFY(QTest::qWaitForWindowActive(m_w));
}

void tst_soak::cleanup() {
    delete m_w;
    m_w = nullptr;
}

void tst_soak::completeRun(ResultsSeen &seen) {
    startRun(*m_w, u"被験者"_qs);
    if (QTest::currentTestFailed())
        return;
    for (int t = 1; t < PlanTrials; ++t) {
        answerTrial(m_time, *m_w, t);
        if (QTest::currentTestFailed())
            return;
    }
    // The last answer opens the results window modally; it is read and closed with Enter from
    // inside its own loop.
    seen = {};
    readResultsWhenShown(*m_w, seen);
    answerTrial(m_time, *m_w, PlanTrials);
    // What one run does is the run's own test (tst_trialrun); here, that every run ends alike.
    QCOMPARE(seen.shown, 1);
    QCOMPARE(buttons(*m_w), u"S-E"_qs);
    QVERIFY(QTest::qWaitForWindowActive(m_w));
}

void tst_soak::brokenOffRun(const StopPlan &stop) {
    startRun(*m_w, u"中断"_qs);
    if (QTest::currentTestFailed())
        return;
    switch (stop.kind) {
    case StopKind::ButtonDuringCue:
        for (int t = 1; t <= stop.rowsAnswered; ++t)
            answerTrial(m_time, *m_w, t);
        // Into the next trial's cue: past its countdown and first figure.
        m_time.advanceMs(m_w->tmWait->Interval() + m_w->tmPrim->Interval() + 100);
        QVERIFY(m_w->tmSec->Enabled());
        QTest::mouseClick(m_w->btnStop, Qt::LeftButton);
        break;
    case StopKind::EscapeOnTestFigure:
        for (int t = 1; t <= stop.rowsAnswered; ++t)
            answerTrial(m_time, *m_w, t);
        toTestFigure(m_time, *m_w);
        press(Escape);
        break;
    case StopKind::ButtonDuringCountdown:
        m_time.advanceMs(m_w->tmWait->Interval() / 2); // halfway through the countdown
        QVERIFY(m_w->tmWait->Enabled());
        QTest::mouseClick(m_w->btnStop, Qt::LeftButton);
        break;
    }
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(buttons(*m_w), u"S-E"_qs);
    QCOMPARE(timersArmed(*m_w), u"---"_qs);
}

void tst_soak::manyRunsInOneLife_data() {
    QTest::addColumn<bool>("recording");
    QTest::newRow("no recorder") << false;
    QTest::newRow("data folder") << true;
}

void tst_soak::manyRunsInOneLife() {
    QFETCH(bool, recording);
    QTemporaryDir dataDir;
    QVERIFY(dataDir.isValid());
    RunClock runClock;
    kivora::SessionData data(dataDir.path());
    data.setNow([&runClock] { return runClock.next(); });
    if (recording)
        m_w->addObserver(&data);

    QElapsedTimer wall;
    wall.start();

    ResultsSeen first;
    kivora::RunStats firstStats;
    ObjectCounts firstCounts;
    qint64 firstRss = 0;
    int brokenOff = 0;
    QStringList rssCurve; // growth over run 1 every ten runs, MB
    for (int run = 1; run <= CompletedRuns; ++run) {
        ResultsSeen seen;
        completeRun(seen);
        if (QTest::currentTestFailed()) {
            qWarning("completed run %d went wrong", run);
            return;
        }
        if (run == 1) {
            first = seen;
            firstStats = basTime::Stats;
            QCOMPARE(basTime::CorrectCount, qint16(PlannedCorrect)); // the run went as planned
            QVERIFY(!first.picture.isNull());
            firstCounts = countObjects(*m_w);
            firstRss = residentBytes();
            QVERIFY(firstRss > 0);
        } else {
            if (run % 10 == 0)
                rssCurve << u"%1: %2"_qs.arg(run).arg(double(residentBytes() - firstRss) / 1048576.0, 0, 'f',
                                                      2);
            QVERIFY2(basTime::Stats == firstStats, qPrintable(u"run %1: %2\nrun 1: %3"_qs.arg(run).arg(
                                                       describe(basTime::Stats), describe(firstStats))));
            QCOMPARE(seen.summary, first.summary);
            QVERIFY2(seen.picture == first.picture,
                     qPrintable(u"run %1: the results window looks different from run 1's"_qs.arg(run)));
            QCOMPARE(seen.mainPicture, first.mainPicture);
        }
        for (const StopPlan &stop : Stops) {
            if (stop.afterRun != run)
                continue;
            brokenOffRun(stop);
            if (QTest::currentTestFailed()) {
                qWarning("the run broken off after run %d went wrong", run);
                return;
            }
            ++brokenOff;
        }
    }
    QCOMPARE(brokenOff, int(stopsDue().size()));

    const ObjectCounts lastCounts = countObjects(*m_w);
    const qint64 lastRss = residentBytes();
    qInfo("%d completed and %d broken-off runs in %lld ms (wall clock)", CompletedRuns, brokenOff,
          qint64(wall.elapsed()));
    qInfo("RSS after run 1: %.2f MB, after run %d: %.2f MB, growth %+.2f MB (allowed %.0f MB)",
          double(firstRss) / 1048576.0, CompletedRuns, double(lastRss) / 1048576.0,
          double(lastRss - firstRss) / 1048576.0, double(AllowedGrowthBytes) / 1048576.0);
    qInfo("RSS growth by run (MB): %s", qPrintable(rssCurve.join(u", "_qs)));
    qInfo("after run 1: %s", qPrintable(firstCounts.text()));
    qInfo("after run %d: %s", CompletedRuns, qPrintable(lastCounts.text()));
    QVERIFY2(lastCounts == firstCounts,
             qPrintable(u"objects left behind: after run 1 %1; after run %2 %3"_qs.arg(firstCounts.text())
                            .arg(CompletedRuns)
                            .arg(lastCounts.text())));
    // AddressSanitizer keeps freed memory in quarantine (256 MB by default), so resident memory
    // says nothing about leaks there; its leak checker covers that build instead.
    if (!SanitizerBuild)
        QVERIFY2(lastRss - firstRss <= AllowedGrowthBytes,
                 qPrintable(u"resident memory grew by %1 bytes over %2 runs"_qs.arg(lastRss - firstRss)
                                .arg(CompletedRuns)));

    if (recording)
        checkDataFolder(dataDir.path());
}

// One data file per run (completed and broken off) and a means file per completed run. The
// completed runs' files say the same apart from their names and start times.
void tst_soak::checkDataFolder(const QString &folder) {
    const QDir dir(folder);
    const QStringList means = dir.entryList({u"*_means.csv"_qs}, QDir::Files, QDir::Name);
    QStringList rows = dir.entryList({u"*.csv"_qs}, QDir::Files, QDir::Name);
    for (const QString &m : means)
        rows.removeOne(m);
    QCOMPARE(means.size(), CompletedRuns);
    QCOMPARE(rows.size(), CompletedRuns + int(stopsDue().size()));

    const QByteArray firstMeans = readFile(dir.filePath(means.first()));
    QVERIFY(!firstMeans.isEmpty());
    QString firstCompleted; // data file content with the start time blanked out
    int completed = 0;
    QList<int> brokenOffRows;
    for (const QString &name : rows) {
        const QByteArray bytes = readFile(dir.filePath(name));
        QVERIFY2(bytes.startsWith(kivora::Utf8Bom), qPrintable(name));
        QStringList lines = QString::fromUtf8(bytes.sliced(kivora::Utf8Bom.size())).split(u"\r\n"_qs);
        QCOMPARE(lines.takeLast(), QString()); // every row ends with its line break
        QVERIFY2(!lines.isEmpty() && lines.first().startsWith(u"subject,run_started,trial"_qs),
                 qPrintable(name));
        const qsizetype columns = lines.first().split(u',').size();
        for (int i = 1; i < lines.size(); ++i) {
            QStringList cells = lines[i].split(u',');
            QCOMPARE(cells.size(), columns); // as many cells as the header names
            QVERIFY2(QDateTime::fromString(cells[1], Qt::ISODate).isValid(), qPrintable(lines[i]));
            QCOMPARE(cells[2].toInt(), i);
            QCOMPARE(cells[10].toInt(), plannedRt(i));
            cells[1].clear();
            lines[i] = cells.join(u',');
        }
        const QString stem = name.chopped(4);
        if (!means.contains(stem + u"_means.csv"_qs)) {
            brokenOffRows << int(lines.size() - 1);
            continue;
        }
        ++completed;
        QCOMPARE(lines.size(), 1 + PlanTrials);
        const QString content = lines.join(u"\r\n"_qs);
        if (firstCompleted.isEmpty())
            firstCompleted = content;
        QVERIFY2(content == firstCompleted, qPrintable(u"%1 differs from the first run's data"_qs.arg(name)));
        QCOMPARE(readFile(dir.filePath(stem + u"_means.csv"_qs)), firstMeans);
    }
    QCOMPARE(completed, CompletedRuns);
    QList<int> expectedRows;
    for (const StopPlan &stop : stopsDue())
        expectedRows << stop.rowsAnswered;
    QCOMPARE(brokenOffRows, expectedRows); // names sort by start time: the order of the runs
}

QTEST_MAIN(tst_soak)
#include "tst_soak.moc"
