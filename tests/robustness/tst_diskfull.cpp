// A data folder that fills up during a session. The folder is a small tmpfs of its own, filled
// to the last block with a filler file at the moment the test chooses, so the recorder's writes
// fail with ENOSPC as on a full USB stick. The experimenter must be told (once), the run must go
// on and end normally, and what was on disk before stays there.
//
// Mounting needs root (CAP_SYS_ADMIN); the mount lives in a mount namespace of this process
// only, so it vanishes with the process even if a test crashes. Without the right to mount the
// full-disk tests skip and say why.
//
// Also here: names the file system refuses as file names (too long in bytes), which must not
// cost the run its data either.
#include "support/SessionDriver.h"

#include "ui/frmResult.h"
#include "base/Fonts.h"
#include "results/SessionData.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace session;

namespace {

// Every row carries the subject's name. A name longer than a memory page (4 KiB; 1400 kanji are
// 4200 bytes of UTF-8) makes every row need a fresh block, so the first row after the disk fills
// is the first to fail, whatever room the last block had left. It starts with 40 ASCII letters
// so that the file name made from its first characters stays short.
QString longName() {
    return QString(40, QChar(u'A')) + QString(1400, QChar(u'漢'));
}

// Writes a filler file until the file system refuses with ENOSPC. Returns the errno of the refusal.
int fillUp(const QString &folder) {
    const QByteArray path = QFile::encodeName(folder + u"/filler"_qs);
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd < 0)
        return errno;
    static const char block[4096] = {};
    int err = 0;
    // Whole blocks first, then single bytes in case the last block was only partly free.
    for (const size_t step : {sizeof block, size_t(1)}) {
        for (;;) {
            const ssize_t n = ::write(fd, block, step);
            if (n < 0) {
                err = errno;
                break;
            }
        }
    }
    ::close(fd);
    return err;
}

quint64 freeBytes(const QString &folder) {
    struct statvfs st {};
    if (::statvfs(QFile::encodeName(folder).constData(), &st) != 0)
        return ~quint64(0);
    return quint64(st.f_bavail) * st.f_frsize;
}

// Fills the disk the moment trial n has been answered, after the data file took its row (it is
// told after the data recorder) and before anything else is written.
struct FillWhenAnswered : kivora::RunObserver {
    FillWhenAnswered(const kivora::SessionData &data, QString folder, int n)
        : data(data), folder(std::move(folder)), trial(n) {}
    void runStarted(const QString &, qint64) override {}
    void stageShown(const QString &, qint16, const QString &, qint64, qint64) override {}
    void lateFlip(const QString &, qint16, qint64, qint64, qint64) override {}
    void answered(qint16 t, const kivora::TrialRec &, const kivora::AnswerTiming &) override {
        if (t != trial)
            return;
        onDiskBefore = readFile(data.currentFile());
        fillErrno = fillUp(folder);
        freeAfter = freeBytes(folder);
    }
    void runStopped(qint64) override {}
    void runCompleted(const kivora::RunStats &, qint64) override {}
    void resultsShown(qint64) override {}
    void resultsClosed(qint64) override {}

    const kivora::SessionData &data;
    QString folder;
    int trial;
    QByteArray onDiskBefore;
    int fillErrno = -1;
    quint64 freeAfter = ~quint64(0);
};

} // namespace

class tst_diskfull : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void fillsDuringRun_data();
    void fillsDuringRun();
    void laterRunOnFullDiskWarnsAgain();
    void spaceFreedDuringRun();
    void longNamesStillRecorded_data();
    void longNamesStillRecorded();

private:
    // Closes the warning boxes and results windows that the run opens, noting what they said.
    void watchModalWindows();
    // The write-failure notice does not take the keyboard and leaves the run going: it is
    // looked for right after each step that may write.
    void collectWarnings(int atTrial);
    // Answers trial t; after a warning box the main window must take the keys again.
    void answer(int t);
    void start(const QString &name, bool starts = true);
    void keysReturnToMainWindow(const QString &when);
    void clearFolder();

    QTemporaryDir m_planDir;
    QTemporaryDir m_mountPoint;
    QString m_folder; // the small file system
    QString m_cannotMount;
    FakeTime m_time;
    frmMain *m_w = nullptr;
    QTimer m_watch;
    QStringList m_warnings;
    QList<int> m_warnedAtTrial; // CurTrial when each warning came up
    int m_results = 0;
    QStringList m_problems; // faults noted on the way; the test goes on to see the rest
};

void tst_diskfull::initTestCase() {
    quietOffscreenNoise();
    kivora::installFontSubstitutes();
    QApplication::setApplicationName(u"Kivora"_qs);
    QVERIFY(m_planDir.isValid() && m_mountPoint.isValid());
    QVERIFY(writeFile(m_planDir.filePath(u"twelve.csv"_qs), twelveTrialPlan()));
    m_watch.setInterval(5);
    connect(&m_watch, &QTimer::timeout, this, &tst_diskfull::watchModalWindows);

    const auto why = [](const char *what) {
        return u"%1 (%2): a small full file system needs root / CAP_SYS_ADMIN"_qs.arg(
            QString::fromLatin1(what), QString::fromLocal8Bit(std::strerror(errno)));
    };
    if (::unshare(CLONE_NEWNS) != 0)
        m_cannotMount = why("cannot make a private mount namespace");
    else if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        m_cannotMount = why("cannot make the mounts private");
    else if (::mount("kivora-diskfull", QFile::encodeName(m_mountPoint.path()).constData(), "tmpfs",
                     MS_NOSUID | MS_NODEV, "size=256k,mode=0700") != 0)
        m_cannotMount = why("cannot mount a 256 KiB tmpfs");
    else
        m_folder = m_mountPoint.path();
}

void tst_diskfull::cleanupTestCase() {
    if (!m_folder.isEmpty())
        ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
}

void tst_diskfull::init() {
    basTime::reset();
    m_warnings.clear();
    m_warnedAtTrial.clear();
    m_problems.clear();
    m_results = 0;
    if (!m_folder.isEmpty()) {
        clearFolder();
        QVERIFY(freeBytes(m_folder) > 128 * 1024);
    }
    m_w = new frmMain(m_time);
    m_w->setPlanFile(m_planDir.filePath(u"twelve.csv"_qs));
    m_w->Form_Load();
    m_w->show();
    QVERIFY(QTest::qWaitForWindowActive(m_w));
    m_watch.start();
}

void tst_diskfull::cleanup() {
    m_watch.stop();
    delete m_w;
    m_w = nullptr;
}

void tst_diskfull::clearFolder() {
    QDir dir(m_folder);
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden))
        dir.remove(name);
}

void tst_diskfull::collectWarnings(int atTrial) {
    for (QWidget *w : QApplication::topLevelWidgets()) {
        auto *box = qobject_cast<QMessageBox *>(w);
        if (box && box->isVisible() && box->objectName() == u"writeFailure"_qs) {
            m_warnings << box->text();
            m_warnedAtTrial << atTrial;
            if (box->testAttribute(Qt::WA_ShowWithoutActivating) && QApplication::activeWindow() == box)
                m_problems << u"the write-failure notice took the keyboard"_qs;
            box->close();
        }
    }
}

void tst_diskfull::watchModalWindows() {
    collectWarnings(m_w ? m_w->CurTrial : -1);
    QWidget *modal = QApplication::activeModalWidget();
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        m_warnings << box->text();
        m_warnedAtTrial << (m_w ? m_w->CurTrial : -1);
        box->accept();
    } else if (auto *results = qobject_cast<frmResult *>(modal)) {
        ++m_results;
        results->btnClose->click();
    }
}

void tst_diskfull::keysReturnToMainWindow(const QString &when) {
    if (QTest::qWaitFor([this] { return QApplication::activeWindow() == m_w; }, 500))
        return;
    m_problems << when + u": the main window is not active again, so keys 1 and 2 reach nothing"_qs;
    m_w->activateWindow(); // as the experimenter's click on the window would
    QVERIFY(QTest::qWaitForWindowActive(m_w));
}

void tst_diskfull::start(const QString &name, bool starts) {
    const qsizetype warned = m_warnings.size();
    clickStart(*m_w, name);
    collectWarnings(0);
    if (m_warnings.size() != warned)
        keysReturnToMainWindow(u"after the warning box at Start"_qs);
    else
        QVERIFY(QTest::qWaitForWindowActive(m_w));
    QCOMPARE(buttons(*m_w), starts ? u"-T-"_qs : u"S-E"_qs);
}

void tst_diskfull::answer(int t) {
    const qsizetype warned = m_warnings.size();
    answerTrial(m_time, *m_w, t);
    collectWarnings(t);
    if (m_warnings.size() != warned && t < PlanTrials)
        keysReturnToMainWindow(u"after the warning box at trial %1"_qs.arg(t));
}

void tst_diskfull::fillsDuringRun_data() {
    QTest::addColumn<int>("answeredBeforeFull"); // -1: full before Start
    QTest::addColumn<bool>("completes");         // else Stop after trial 8
    QTest::newRow("full after 3 answers, then Stop") << 3 << false;
    QTest::newRow("full after 3 answers, run completes") << 3 << true;
    QTest::newRow("full after the last answer, run completes") << PlanTrials << true;
    QTest::newRow("full before Start, then Stop") << -1 << false;
    QTest::newRow("full before Start, run completes") << -1 << true;
}

void tst_diskfull::fillsDuringRun() {
    if (m_folder.isEmpty())
        QSKIP(qPrintable(m_cannotMount));
    QFETCH(int, answeredBeforeFull);
    QFETCH(bool, completes);
    kivora::SessionData data(m_folder);
    FillWhenAnswered filler(data, m_folder, answeredBeforeFull);
    m_w->addObserver(&data);
    m_w->addObserver(&filler);

    if (answeredBeforeFull < 0) {
        QCOMPARE(fillUp(m_folder), ENOSPC);
        QCOMPARE(freeBytes(m_folder), quint64(0));
    }
    start(longName(), answeredBeforeFull >= 0);
    if (QTest::currentTestFailed())
        return;
    if (answeredBeforeFull < 0) {
        // The data file's header did not fit: the experimenter hears of it at Start, and the
        // participant does not answer into nothing.
        QCOMPARE(m_warnings.size(), 1);
        QCOMPARE(m_warnedAtTrial.first(), 0);
        QVERIFY2(m_warnings.first().contains(u"実験は開始していません"_qs), qPrintable(m_warnings.first()));
        QCOMPARE(timersArmed(*m_w), u"---"_qs);
        QVERIFY2(m_problems.isEmpty(), qPrintable(m_problems.join(u"\n"_qs)));
        return;
    }
    QCOMPARE(m_warnings.size(), 0);
    QVERIFY2(m_w->tmWait->Enabled(), "the run did not go on to its first trial");

    const int lastTrial = completes ? PlanTrials : 8;
    for (int t = 1; t <= lastTrial; ++t) {
        answer(t);
        if (QTest::currentTestFailed())
            return;
        if (t < PlanTrials) {
            QCOMPARE(m_w->CurTrial, qint16(t + 1)); // the run goes on
            QVERIFY(m_w->tmWait->Enabled());
        }
    }
    if (answeredBeforeFull > 0) {
        QCOMPARE(filler.fillErrno, ENOSPC);
        QCOMPARE(filler.freeAfter, quint64(0));
        QCOMPARE(filler.onDiskBefore.count("\r\n"), 1 + answeredBeforeFull); // header, a row per answer
    }

    if (answeredBeforeFull > 0 && answeredBeforeFull < lastTrial) {
        // The first row after the disk filled could not be written: one warning, at that trial.
        QCOMPARE(m_warnings.size(), 1);
        QCOMPARE(m_warnedAtTrial.first(), answeredBeforeFull + 1);
    } else if (answeredBeforeFull == PlanTrials) {
        // Only the means file was left to write.
        QCOMPARE(m_warnings.size(), 1);
        QVERIFY2(m_warnings.first().contains(u"_means.csv"_qs), qPrintable(m_warnings.first()));
    }
    QCOMPARE(m_warnings.size(), 1);
    QVERIFY2(m_warnings.first().startsWith(u"記録を書き込めませんでした"_qs), qPrintable(m_warnings.first()));
    QVERIFY2(m_warnings.first().contains(QDir::toNativeSeparators(m_folder)),
             qPrintable(u"the warning does not name the data folder: "_qs + m_warnings.first()));

    if (completes) {
        QCOMPARE(m_results, 1); // the statistics do not depend on the disk
        QCOMPARE(basTime::CorrectCount, qint16(PlannedCorrect));
    } else {
        m_time.advanceMs(1500);
        QTest::mouseClick(m_w->btnStop, Qt::LeftButton);
        collectWarnings(m_w->CurTrial);
        QCOMPARE(m_results, 0);
    }
    QCOMPARE(buttons(*m_w), u"S-E"_qs);
    QCOMPARE(timersArmed(*m_w), u"---"_qs);
    QCOMPARE(m_warnings.size(), 1); // once, however many writes failed after it
    QCOMPARE(m_w->Image1->picture(), instructionPicture(*m_w));

    if (answeredBeforeFull > 0) {
        const QByteArray after = readFile(data.currentFile());
        QVERIFY2(after.startsWith(filler.onDiskBefore),
                 qPrintable(u"the rows written before the disk filled changed (%1 bytes before, %2 now)"_qs
                                .arg(filler.onDiskBefore.size())
                                .arg(after.size())));
        if (after.size() != filler.onDiskBefore.size())
            qInfo("after the rows of trials 1..%d the file holds %lld more bytes: a row cut off by the full "
                  "disk",
                  answeredBeforeFull, qint64(after.size() - filler.onDiskBefore.size()));
    }
    QVERIFY2(m_problems.isEmpty(), qPrintable(m_problems.join(u"\n"_qs)));
}

// A later participant's run on a disk that is full again must not be lost without a word:
// the experimenter freed space after the first warning, and the disk fills again.
void tst_diskfull::laterRunOnFullDiskWarnsAgain() {
    if (m_folder.isEmpty())
        QSKIP(qPrintable(m_cannotMount));
    kivora::SessionData data(m_folder);
    m_w->addObserver(&data);

    start(longName());
    answer(1);
    QCOMPARE(fillUp(m_folder), ENOSPC);
    answer(2);
    QCOMPARE(m_warnings.size(), 1);
    m_time.advanceMs(500);
    QTest::mouseClick(m_w->btnStop, Qt::LeftButton);

    // The experimenter makes room; the next run records normally.
    QVERIFY(QFile::remove(m_folder + u"/filler"_qs));
    start(u"second"_qs);
    for (int t = 1; t <= 2; ++t)
        answer(t);
    QCOMPARE(readFile(data.currentFile()).count("\r\n"), 3);
    QCOMPARE(m_warnings.size(), 1);
    m_time.advanceMs(500);
    QTest::mouseClick(m_w->btnStop, Qt::LeftButton);

    // The disk is full again when the next participant starts: this run cannot be recorded either.
    QCOMPARE(fillUp(m_folder), ENOSPC);
    start(longName(), false);
    QVERIFY2(m_warnings.size() == 2,
             "the second failure to record (another run, another participant) was not reported");
    QVERIFY2(m_problems.isEmpty(), qPrintable(m_problems.join(u"\n"_qs)));
}

// The experimenter frees space after the warning while the run goes on. Rows lost while the disk
// was full may be missing, but the file must stay readable: whole rows only, each trial once.
void tst_diskfull::spaceFreedDuringRun() {
    if (m_folder.isEmpty())
        QSKIP(qPrintable(m_cannotMount));
    kivora::SessionData data(m_folder);
    FillWhenAnswered filler(data, m_folder, 3);
    m_w->addObserver(&data);
    m_w->addObserver(&filler);

    start(longName());
    for (int t = 1; t <= PlanTrials; ++t) {
        answer(t);
        if (t == 6)
            QVERIFY(QFile::remove(m_folder + u"/filler"_qs));
    }
    QCOMPARE(filler.fillErrno, ENOSPC);
    QCOMPARE(m_warnings.size(), 1);
    QCOMPARE(m_results, 1);

    QByteArray content = readFile(data.currentFile());
    QVERIFY(content.endsWith("\r\n"));
    content.chop(2);
    const QList<QByteArray> lines = content.split('\n');
    QList<int> trials;
    const qsizetype columns = lines.first().split(',').size(); // as many cells as the header names
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> cells = lines[i].split(',');
        QVERIFY2(cells.size() == columns && cells[0] == longName().toUtf8() &&
                     lines[i].endsWith('\r') == (i + 1 < lines.size()),
                 qPrintable(u"line %1 is not a whole row (%2 bytes, %3 cells)"_qs.arg(i + 1)
                                .arg(lines[i].size())
                                .arg(cells.size())));
        trials << cells[2].toInt();
    }
    QStringList listed;
    for (int t : trials)
        listed << QString::number(t);
    qInfo("trials in the file, the disk having been full for the answers to 4..6: %s",
          qPrintable(listed.join(u' ')));
    for (int t = 1; t <= PlanTrials; ++t) {
        const bool lostAllowed = t >= 4 && t <= 6;
        QVERIFY2(trials.count(t) == 1 || (lostAllowed && trials.count(t) == 0),
                 qPrintable(u"trial %1 is in the file %2 times"_qs.arg(t).arg(trials.count(t))));
    }
    QVERIFY2(m_problems.isEmpty(), qPrintable(m_problems.join(u"\n"_qs)));
}

// The data file is named after the participant. Linux allows 255 bytes per file name, and a
// kanji takes 3 bytes of UTF-8, an emoji 4: the name must be shortened by bytes, not characters,
// and never inside a character, or the run is not recorded at all.
void tst_diskfull::longNamesStillRecorded_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("runs"); // started in the same second: "-2" goes into the second name
    const QString emoji = u"\U0001F600"_qs;
    QTest::newRow("76 kanji") << QString(76, QChar(u'漢')) << 1;
    QTest::newRow("76 kanji, twice in one second") << QString(76, QChar(u'漢')) << 2;
    QTest::newRow("80 kanji") << QString(80, QChar(u'漢')) << 1;
    QTest::newRow("300 kanji") << QString(300, QChar(u'漢')) << 1;
    QTest::newRow("300 ASCII") << QString(300, QChar(u'x')) << 1;
    QTest::newRow("100 emoji") << emoji.repeated(100) << 1;
    QTest::newRow("a letter and 100 emoji") << u"a"_qs + emoji.repeated(100) << 1;
}

void tst_diskfull::longNamesStillRecorded() {
    QFETCH(QString, name);
    QFETCH(int, runs);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    kivora::SessionData data(dir.path());
    data.setNow([] { return QDateTime(QDate(2026, 3, 2), QTime(9, 30, 0)); });
    m_w->addObserver(&data);

    for (int run = 1; run <= runs; ++run) {
        start(name);
        for (int t = 1; t <= PlanTrials; ++t)
            answer(t);
        QVERIFY2(m_warnings.isEmpty(), qPrintable(u"run %1: %2"_qs.arg(run).arg(m_warnings.join(u"; "_qs))));
        QCOMPARE(m_results, run);
        const QString file = data.currentFile();
        QVERIFY2(QFileInfo(file).fileName().toUtf8().size() <= 255, qPrintable(file));
        const QStringList rows = QString::fromUtf8(readFile(file)).split(u"\r\n"_qs, Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 1 + PlanTrials);
        QVERIFY2(rows[1].startsWith(name + u","_qs), "the data row does not hold the whole name");
        QVERIFY(QFileInfo::exists(data.lastMeansFile()));
        const QString fileName = QFileInfo(file).fileName();
        QVERIFY2(fileName == QString::fromUtf8(fileName.toUtf8()), // no broken character in it
                 qPrintable(u"file name with a broken character: "_qs + fileName));
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2 * runs);
    QVERIFY2(m_problems.isEmpty(), qPrintable(m_problems.join(u"\n"_qs)));
}

QTEST_MAIN(tst_diskfull)
#include "tst_diskfull.moc"
