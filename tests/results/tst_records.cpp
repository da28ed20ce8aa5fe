// The per-trial data file, the means file and the timing log: what a lab keeps when the
// program is closed, crashes or the printer is missing.
#include "analysis/Analyze.h"
#include "base/RuntimeError.h"
#include "results/EventLog.h"
#include "results/SessionData.h"
#include "support/Files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace kivora;

class tst_records : public QObject {
    Q_OBJECT
private slots:
    void safeFileName_data();
    void safeFileName();
    void hostileNamesStayReadable_data();
    void hostileNamesStayReadable();
    void rowsOnDiskAfterEachAnswer();
    void stoppedRunKeepsItsRows();
    void twoRunsTwoFiles();
    void meansReadBackExactly();
    void unwritableFolderRefused();
    void missingFolderCreated();
    void logLinesInOrder();
    void logAppendsWithOneHeader();
    void orderSeedRecorded();
    void codesInUse();
    void codeTakenMeanwhile();
    void oneByteOrderMarkAtStart_data();
    void oneByteOrderMarkAtStart();

private:
    static QByteArray bytes(const QString &path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // The file's lines as a reader sees them: a leading byte order mark is no part of the first.
    static QStringList lines(const QString &path) {
        QByteArray content = bytes(path);
        if (content.isEmpty())
            return {};
        if (content.startsWith(Utf8Bom))
            content.remove(0, Utf8Bom.size());
        QString text = QString::fromUtf8(content);
        if (text.endsWith(u"\r\n"_qs))
            text.chop(2);
        else if (text.endsWith(u'\n'))
            text.chop(1);
        return text.split(text.contains(u"\r\n"_qs) ? u"\r\n"_qs : u"\n"_qs);
    }
    static QDateTime fixedTime() { return QDateTime(QDate(2026, 12, 8), QTime(9, 30, 5)); }
};

void tst_records::safeFileName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("japanese") << u"山田 太郎"_qs << u"山田 太郎"_qs;
    QTest::newRow("slashes") << u"a/b\\c"_qs << u"a_b_c"_qs;
    QTest::newRow("windows refused") << u"x:y*z?\"<>|"_qs << u"x_y_z_____"_qs;
    QTest::newRow("line break") << u"a\r\nb"_qs << u"a__b"_qs;
    QTest::newRow("dot dot") << u".."_qs << u"__"_qs;
    QTest::newRow("blanks") << u"   "_qs << u"  _"_qs;
    QTest::newRow("device CON") << u"CON"_qs << u"CON_"_qs;
    QTest::newRow("a participant code") << u"P004217"_qs << u"P004217"_qs;
    QTest::newRow("device lower case") << u"nul"_qs << u"nul_"_qs;
    QTest::newRow("device with extension") << u"aux.txt"_qs << u"aux_.txt"_qs;
    QTest::newRow("device blank before extension") << u"prn .a.b"_qs << u"prn _.a.b"_qs;
    QTest::newRow("device COM1") << u"Com1"_qs << u"Com1_"_qs;
    QTest::newRow("device LPT9") << u"LPT9.csv"_qs << u"LPT9_.csv"_qs;
    QTest::newRow("device COM superscript") << u"COM²"_qs << u"COM²_"_qs;
    QTest::newRow("device CONOUT$") << u"conout$"_qs << u"conout$_"_qs;
    QTest::newRow("not a device: COM10") << u"COM10"_qs << u"COM10"_qs;
    QTest::newRow("not a device: CONSOLE") << u"CONSOLE"_qs << u"CONSOLE"_qs;
    QTest::newRow("not a device: LPT") << u"LPT"_qs << u"LPT"_qs;
}

void tst_records::safeFileName() {
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(SessionData::safeFileName(name), expected);
}

void tst_records::hostileNamesStayReadable_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("firstCell");
    QTest::newRow("comma") << u"Doe, Jane"_qs << u"\"Doe, Jane\""_qs;
    QTest::newRow("quote") << u"say \"hi\""_qs << u"\"say \"\"hi\"\"\""_qs;
    QTest::newRow("formula") << u"=cmd|' /C calc'!A0"_qs << u"'=cmd|' /C calc'!A0"_qs;
    QTest::newRow("plus") << u"+1"_qs << u"'+1"_qs;
    QTest::newRow("minus") << u"-2"_qs << u"'-2"_qs;
    QTest::newRow("at") << u"@SUM(1)"_qs << u"'@SUM(1)"_qs;
    QTest::newRow("line break") << u"a\nb"_qs << u"\"a\nb\""_qs;
}

void tst_records::hostileNamesStayReadable() {
    QFETCH(QString, name);
    QFETCH(QString, firstCell);
    QTemporaryDir dir;
    SessionData data(dir.path());
    data.setNow(fixedTime);
    data.runStarted(name, 0);
    data.answered(1, TrialRec{1, 0, 2, 1, 400, 1, 612}, {2, 0, 612'000, 400'000});
    QFile f(data.currentFile());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    QVERIFY2(text.contains(u"\r\n"_qs + firstCell + u","_qs), qPrintable(text));
    QVERIFY(!QFileInfo(data.currentFile()).fileName().contains(u'/'));
}

void tst_records::rowsOnDiskAfterEachAnswer() {
    QTemporaryDir dir;
    SessionData data(dir.path());
    data.setNow(fixedTime);
    data.runStarted(u"山田"_qs, 0);
    QCOMPARE(QFileInfo(data.currentFile()).fileName(), u"20261208-093005_山田.csv"_qs);
    const QString header =
        u"subject,run_started,trial,FigSet,StartDir,CueDir,Mirror,PresentTime,Answer,correct,RT,RT_us,cue_us,"
        u"order_seed,late_flips,onset_source,period_us,compositor,fullscreen,block,round,trigger_lag_us"_qs;
    QCOMPARE(lines(data.currentFile()), QStringList{header});
    DisplayInfo composited;
    composited.periodUs = 16'667;
    composited.compositor = Compositor::Yes;
    composited.onset = OnsetSource::Dwm;
    // A practice round first (its own order's seed), then the main trials.
    data.practiceStarted(2, 77, 0);
    data.answered(1, TrialRec{1, 0, 1, 0, 800, 1, 640}, {2, 0, 640'000, 800'000});
    data.practiceEnded(2, 0, 1, 0);
    data.answered(1, TrialRec{2, 0, 3, 1, 800, 1, 734}, {2, 0, 733'612, 801'334});
    data.answered(2, TrialRec{4, 0, 5, 0, 1200, 1, -3}, {2, 0, -3'499, 1'183'339, 2, composited, 412});
    QStringList rows = lines(data.currentFile());
    QCOMPARE(rows.size(), 4);
    QCOMPARE(rows.takeAt(1).section(u',', 12), u"800000,77,0,flush,0,unknown,0,practice,2,"_qs);
    const QString started = fixedTime().toOffsetFromUtc(fixedTime().offsetFromUtc()).toString(Qt::ISODate);
    QVERIFY(started.startsWith(u"2026-12-08T09:30:05"_qs));
    // In the plan's order: order_seed is empty; without triggers, trigger_lag_us too.
    QCOMPARE(rows[1],
             u"山田,%1,1,2,0,3,1,800,1,1,734,733612,801334,,0,flush,0,unknown,0,main,,"_qs.arg(started));
    QCOMPARE(rows[2],
             u"山田,%1,2,4,0,5,0,1200,1,0,-3,-3499,1183339,,2,dwm,16667,yes,0,main,,412"_qs.arg(started));
}

void tst_records::stoppedRunKeepsItsRows() {
    QTemporaryDir dir;
    SessionData data(dir.path());
    data.runStarted(u"A"_qs, 0);
    for (qint16 t = 1; t <= 5; ++t)
        data.answered(t, TrialRec{1, 0, 0, 0, 400, 0, 500}, {1, 0, 500'000, 400'000});
    data.runStopped(0);
    QCOMPARE(lines(data.currentFile()).size(), 6);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1); // no means file for a broken-off run
}

void tst_records::twoRunsTwoFiles() {
    QTemporaryDir dir;
    SessionData data(dir.path());
    data.setNow(fixedTime); // both in the same second
    data.runStarted(u"A"_qs, 0);
    const QString first = data.currentFile();
    data.answered(1, TrialRec{1, 0, 0, 0, 400, 0, 500}, {1, 0, 500'000, 400'000});
    data.runStopped(0);
    data.runStarted(u"A"_qs, 0);
    QVERIFY(data.currentFile() != first);
    QCOMPARE(QFileInfo(data.currentFile()).fileName(), u"20261208-093005-2_A.csv"_qs);
    QCOMPARE(lines(first).size(), 2); // the first run's file is untouched
}

void tst_records::meansReadBackExactly() {
    TrialTable trials;
    const qint32 rts[] = {301, 300, 1000, 333, 334, 335, 777};
    for (int i = 1; i <= 7; ++i)
        trials[i] = TrialRec{1, 0, qint16(i % 3), 0, qint16(i % 2 ? 400 : 800), 0, rts[i - 1]};
    RunStats stats;
    Analyze(trials, 7, stats);
    QTemporaryDir dir;
    SessionData data(dir.path());
    data.runStarted(u"B"_qs, 0);
    data.runCompleted(stats, 0);
    const QStringList rows = lines(data.lastMeansFile());
    QCOMPARE(rows.first(), u"PresentTime,0,60,120,180,240,300,360"_qs);
    QCOMPARE(rows.size(), 1 + stats.TimeCount);
    for (int j = 1; j <= stats.TimeCount; ++j) {
        const QStringList cells = rows[j].split(u',');
        QCOMPARE(cells.size(), 8);
        QCOMPARE(cells[0].toInt(), int(stats.TimeList[j]));
        for (int k = 0; k <= 6; ++k) {
            bool ok = false;
            const double back = cells[k + 1].toDouble(&ok);
            QVERIFY(ok);
            QCOMPARE(back, stats.StatTable[j][k % 6].Mean); // exact, not approximately
        }
    }
}

void tst_records::unwritableFolderRefused() {
    QTemporaryDir dir;
    const QString ro = dir.filePath(u"ro"_qs);
    QVERIFY(QDir().mkdir(ro));
    QFile::setPermissions(ro, QFile::ReadOwner | QFile::ExeOwner);
#ifdef Q_OS_UNIX
    const bool readOnlyHolds = geteuid() != 0;
#else
    const bool readOnlyHolds = false; // Windows keeps a folder's read-only attribute for show
#endif
    if (QFileInfo(ro).isWritable() || !readOnlyHolds) {
        // root writes anywhere: use a path below a plain file instead, which nobody can create.
        QFile plain(dir.filePath(u"plain"_qs));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        QVERIFY_THROWS_EXCEPTION(RuntimeError, SessionData::checkFolder(dir.filePath(u"plain/sub"_qs)));
    } else {
        QVERIFY_THROWS_EXCEPTION(RuntimeError, SessionData::checkFolder(ro));
    }
    QFile::setPermissions(ro, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void tst_records::missingFolderCreated() {
    QTemporaryDir dir;
    const QString deep = dir.filePath(u"a/b/c"_qs);
    SessionData::checkFolder(deep);
    QVERIFY(QFileInfo(deep).isDir());
    QCOMPARE(QDir(deep).entryList(QDir::Files | QDir::Hidden).size(), 0); // the probe is gone
}

void tst_records::logLinesInOrder() {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"t.log"_qs);
    {
        EventLog log(path);
        log.runStarted(u"名\t前"_qs, 10);
        DisplayInfo display;
        display.mode = PresentMode::Present;
        display.periodUs = 16'667;
        display.compositor = Compositor::No;
        display.window = 0x1e00004;
        display.onset = OnsetSource::Flip;
        display.monitor = ScreenFacts{true, u"HDMI-1"_qs, u"Dell Inc. U2412M"_qs};
        log.display(15, display, u"xinput2"_qs, u"xcb"_qs);
        log.stageShown(u"countdown"_qs, 1, u"あと1問"_qs, 20, 100);
        log.stageShown(u"first"_qs, 1, u"2-1"_qs, 1'000'020, 160);
        log.stageShown(u"cue"_qs, 1, u"0-3"_qs, 3'016'687, 281);
        log.lateFlip(u"cue"_qs, 1, 280, 281, 3'016'687);
        display.compositor = Compositor::Yes;
        log.displayChanged(3'100'000, 1, display);
        log.stageShown(u"test"_qs, 1, u"2-9"_qs, 3'416'687, 305);
        log.answered(1, TrialRec{2, 0, 2, 1, 400, 1, 612}, {2, 4'028'420, 611'733, 400'000});
        log.runCompleted({}, 4'100'000);
        log.resultsShown(4'150'000);
        log.resultsClosed(9'000'000);
    }
    const QStringList rows = lines(path);
    QCOMPARE(rows.first(), u"t_us\tevent\ttrial\tdetail"_qs);
    QStringList events;
    qint64 last = -1;
    for (int i = 1; i < rows.size(); ++i) {
        const QStringList cells = rows[i].split(u'\t');
        QCOMPARE(cells.size(), 4);
        QVERIFY(cells[0].toLongLong() >= last);
        last = cells[0].toLongLong();
        events << cells[1];
    }
    QCOMPARE(events, (QStringList{u"run_start"_qs, u"display"_qs, u"countdown"_qs, u"first"_qs, u"cue"_qs,
                                  u"late_flip"_qs, u"display_change"_qs, u"test"_qs, u"answer"_qs,
                                  u"run_end"_qs, u"results_shown"_qs, u"results_closed"_qs}));
    QCOMPARE(rows[1], u"10\trun_start\t0\t名 前"_qs);
    QCOMPARE(rows[2], u"15\tdisplay\t0\tmode=present period_us=16667 compositor=no window=0x1e00004 "
                      u"onset=flip keys=xinput2 "
                      u"exact=1 platform=xcb fullscreen=1 screen=HDMI-1 model=Dell_Inc._U2412M"_qs);
    QCOMPARE(rows[6], u"3016687\tlate_flip\t1\tcue target=280 msc=281"_qs);
    QCOMPARE(rows[7],
             u"3100000\tdisplay_change\t1\tmode=present period_us=16667 compositor=yes onset=flip exact=0 "
             u"fullscreen=1 screen=HDMI-1 model=Dell_Inc._U2412M"_qs);
    QCOMPARE(rows[8], u"3416687\ttest\t1\t2-9 msc=305"_qs);
    // The answer's time is the key's own stamp, not when the line was written.
    QCOMPARE(rows[9], u"4028420\tanswer\t1\tkey=2 rt=612"_qs);
}

void tst_records::logAppendsWithOneHeader() {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"t.log"_qs);
    EventLog(path).runStopped(5);
    EventLog(path).runStopped(6);
    const QStringList rows = lines(path);
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.count(u"t_us\tevent\ttrial\tdetail"_qs), 1);
}

// A run in a shuffled order carries its seed in every row and after the name on run_start; the
// next run, in the plan's order, has none.
void tst_records::orderSeedRecorded() {
    QTemporaryDir dir;
    SessionData data(dir.path());
    EventLog log(dir.filePath(u"t.log"_qs));
    const quint64 seed = 18446744073709551557u;
    for (RunObserver *o : std::initializer_list<RunObserver *>{&data, &log}) {
        o->runOrdered(seed);
        o->runStarted(u"A B"_qs, 10);
        o->answered(1, TrialRec{1, 0, 0, 0, 400, 0, 500}, {1, 20, 500'000, 400'000});
        o->answered(2, TrialRec{2, 0, 1, 1, 800, 1, 600}, {2, 30, 600'000, 800'000});
    }
    const QStringList rows = lines(data.currentFile());
    QCOMPARE(rows.size(), 3);
    const qsizetype column = rows[0].split(u',').indexOf(u"order_seed"_qs);
    for (int i = 1; i <= 2; ++i)
        QCOMPARE(rows[i].split(u',').value(column), u"18446744073709551557"_qs);
    data.runStopped(40);
    data.runStarted(u"C"_qs, 50);
    log.runStarted(u"C"_qs, 50);
    data.answered(1, TrialRec{1, 0, 0, 0, 400, 0, 500}, {1, 60, 500'000, 400'000});
    QCOMPARE(lines(data.currentFile())[1].split(u',').value(column), QString());
    const QStringList logRows = lines(dir.filePath(u"t.log"_qs));
    QCOMPARE(logRows[1], u"10\trun_start\t0\tA B order_seed=18446744073709551557"_qs);
    QCOMPARE(logRows.last(), u"50\trun_start\t0\tC"_qs);
}

// Every CSV file of a session starts with the UTF-8 byte order mark, for Excel, and holds it
// once: not again before a row, nor before a later run's header.
void tst_records::oneByteOrderMarkAtStart_data() {
    QTest::addColumn<int>("runs");    // one after the other, in the same second
    QTest::addColumn<int>("answers"); // in each run
    QTest::addColumn<bool>("means");  // the last run's means file, else its data file
    QTest::newRow("data file, no answer yet") << 1 << 0 << false;
    QTest::newRow("data file, after answers") << 1 << 3 << false;
    QTest::newRow("data file of a second run") << 2 << 2 << false;
    QTest::newRow("means file") << 1 << 3 << true;
    QTest::newRow("means file of a second run") << 2 << 2 << true;
}

void tst_records::oneByteOrderMarkAtStart() {
    QFETCH(int, runs);
    QFETCH(int, answers);
    QFETCH(bool, means);
    TrialTable trials;
    for (qint16 t = 1; t <= answers; ++t)
        trials[t] = TrialRec{1, 0, qint16(t % 6), 0, 400, 0, 500 + t};
    QTemporaryDir dir;
    SessionData data(dir.path());
    data.setNow(fixedTime);
    for (int r = 1; r <= runs; ++r) {
        data.runStarted(u"山田"_qs, 0);
        for (qint16 t = 1; t <= answers; ++t)
            data.answered(t, trials[t], {1, 0, trials[t].RT * 1000, 400'000});
        if (means) {
            RunStats stats;
            Analyze(trials, answers, stats);
            data.runCompleted(stats, 0);
        } else {
            data.runStopped(0);
        }
    }
    const QByteArray content = bytes(means ? data.lastMeansFile() : data.currentFile());
    QVERIFY2(content.startsWith(Utf8Bom), content.left(16).toHex(' ').constData());
    QCOMPARE(content.count(Utf8Bom), 1);
}

// A code is in use where the data folder holds a data or means file of it, a device name's
// file name with its "_" included.
void tst_records::codesInUse() {
    QTemporaryDir dir;
    for (const char *name : {"20261208-093005_P000001.csv", "20261208-093005-2_P000002_means.csv",
                             "20261208-093005_CON_.csv", "notes_P000003.csv", "20261208-093005_P000004.txt"})
        QVERIFY(files::writeFile(dir.filePath(QString::fromLatin1(name)), "x"));
    for (const QString &used : {u"P000001"_qs, u"P000002"_qs, u"CON"_qs, u"p000001"_qs})
        QVERIFY2(SessionData::subjectHasFiles(dir.path(), used), qPrintable(used));
    for (const QString &free : {u"P000003"_qs, u"P000004"_qs, u"P00000"_qs})
        QVERIFY2(!SessionData::subjectHasFiles(dir.path(), free), qPrintable(free));
}

// Two PCs on one data folder: a run whose code another PC took meanwhile does not start, and
// leaves no file of its own; the other PC's file stays.
void tst_records::codeTakenMeanwhile() {
    QTemporaryDir dir;
    const QString theirs = dir.filePath(u"20261208-093004_P000001.csv"_qs);
    QVERIFY(files::writeFile(theirs, "theirs"));
    SessionData data(dir.path());
    data.setNow(fixedTime);
    data.setUniqueSubjects(true);
    QVERIFY_THROWS_EXCEPTION(RuntimeError, data.runStarted(u"P000001"_qs, 0));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{u"20261208-093004_P000001.csv"_qs});
    data.runStarted(u"P000002"_qs, 0); // another code starts
    QVERIFY(QFileInfo::exists(data.currentFile()));
}

QTEST_GUILESS_MAIN(tst_records)
#include "tst_records.moc"
