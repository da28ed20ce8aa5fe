// Data files read back for the report, and the three CSV files written from them.
#include "analysis/Analyze.h"
#include "results/Report.h"
#include "results/RunFiles.h"
#include "results/SessionData.h"
#include "support/DataFileCorpus.h"
#include "support/Files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using kivora::RunFile;
using kivora::SkippedFile;

namespace {

const QByteArray Base =
    "subject,run_started,trial,FigSet,StartDir,CueDir,Mirror,PresentTime,Answer,correct,RT";
const QByteArray Started = "2026-12-08T09:30:05+09:00";
// The display's columns as this version writes them, after the first version's.
const QByteArray DisplayColumns = ",late_flips,onset_source,period_us,compositor,fullscreen\r\n";
// And the study's after them.
const QByteArray StudyColumns = ",late_flips,onset_source,period_us,compositor,fullscreen,block,round\r\n";

// Row t of a run: figure set 2, start 0, cue t mod 6, as it was, 400 ms, answered correctly.
QByteArray row(int t, const QByteArray &subject = "山田", int rt = 600) {
    return subject + "," + Started + "," + QByteArray::number(t) + ",2,0," + QByteArray::number(t % 6) +
           ",0,400,0,1," + QByteArray::number(rt);
}

using files::writeFile;

QList<QByteArray> csvLines(const QByteArray &text) {
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray &l : lines) {
        if (!l.endsWith('\r'))
            return {}; // every line ends in CR LF
        l.chop(1);
    }
    return lines;
}

} // namespace

class tst_report_files : public QObject {
    Q_OBJECT
private slots:
    void accepted_data();
    void accepted();
    void refused_data();
    void refused();
    void folder();
    void recordedRunsReadBack_data();
    void recordedRunsReadBack();
    void csvFiles();
    void corpus_data();
    void corpus();
};

void tst_report_files::accepted_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("trials");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<int>("lateFlips"); // the run's; -1: the file does not say
    QTest::addColumn<int>("exact");     // its onsets_exact; -1: not said
    const QByteArray two = "\r\n" + row(1) + "\r\n" + row(2) + "\r\n";
    QTest::newRow("first version's columns") << Base + two << 2 << u"山田"_qs << -1 << -1;
    QTest::newRow("with order_seed") << Base + ",order_seed\r\n" + row(1) + ",12345\r\n"
                                     << 1 << u"山田"_qs << -1 << -1;
    QTest::newRow("with RT_us and cue_us") << Base + ",RT_us,cue_us\r\n" + row(1) + ",600123,400001\r\n"
                                           << 1 << u"山田"_qs << -1 << -1;
    QTest::newRow("with all three") << Base + ",RT_us,cue_us,order_seed\r\n" + row(1) + ",600123,400001,\r\n"
                                    << 1 << u"山田"_qs << -1 << -1;
    QTest::newRow("a column of a later version") << Base + ",mood\r\n" + row(1) + ",calm\r\n"
                                                 << 1 << u"山田"_qs << -1 << -1;
    QTest::newRow("display columns empty") << Base + DisplayColumns + row(1) + ",,,,,\r\n"
                                           << 1 << u"山田"_qs << 0 << -1;
    QTest::newRow("display columns, exact")
        << Base + DisplayColumns + row(1) + ",1,flip,16667,no,0\r\n" + row(2) + ",0,flip,16667,bypassed,1\r\n"
        << 2 << u"山田"_qs << 1 << 1;
    QTest::newRow("display columns, one trial composited")
        << Base + DisplayColumns + row(1) + ",0,flip,16667,yes,0\r\n" + row(2) + ",2,flip,16667,no,0\r\n"
        << 2 << u"山田"_qs << 2 << 0;
    QTest::newRow("display columns, one trial not said")
        << Base + DisplayColumns + row(1) + ",0,flip,16667,no,0\r\n" + row(2) + ",0,,,,\r\n"
        << 2 << u"山田"_qs << 0 << -1;
    QTest::newRow("display columns, then a later version's")
        << Base + DisplayColumns.chopped(2) + ",mood\r\n" + row(1) + ",0,dwm,16667,yes,1,calm\r\n"
        << 1 << u"山田"_qs << 0 << 0;
    QTest::newRow("practice rounds, each numbered from 1, then the main trials")
        << Base + ",block,round\r\n" + row(1) + ",practice,1\r\n" + row(2) + ",practice,1\r\n" + row(1) +
               ",practice,3\r\n" + row(1) + ",main,\r\n" + row(2) + ",main,\r\n"
        << 2 << u"山田"_qs << -1 << -1;
    QTest::newRow("columns in another order")
        << QByteArray(
               "RT,correct,Answer,PresentTime,Mirror,CueDir,StartDir,FigSet,trial,run_started,subject\r\n"
               "612,1,1,800,1,3,0,2,1,") +
               Started + ",B\r\n"
        << 1 << u"B"_qs << -1 << -1;
    QTest::newRow("byte order mark, LF line ends") << "\xEF\xBB\xBF" + Base + "\n" + row(1) + "\n"
                                                   << 1 << u"山田"_qs << -1 << -1;
    QTest::newRow("byte order mark before a quoted header cell")
        << "\xEF\xBB\xBF\"subject\"" + Base.mid(7) + "\r\n" + row(1) + "\r\n"
        << 1 << u"山田"_qs << -1 << -1;
    QTest::newRow("quoted name with comma, quote and line break")
        << Base + "\r\n" + row(1, "\"Doe, \"\"J\"\"\r\nX\"") + "\r\n" + row(2, "\"Doe, \"\"J\"\"\r\nX\"") +
               "\r\n"
        << 2 << u"Doe, \"J\"\r\nX"_qs << -1 << -1;
    QTest::newRow("saved again by Excel in CP932, 表 and 〜 in the name")
        << datafiles::corpusFile(u"valid-excel-cp932.csv"_qs) << 12 << u"表\uFF5E 花子"_qs << 0 << 1;
    QTest::newRow("';' between values, as Excel saves where the decimal mark is a comma")
        << datafiles::corpusFile(u"valid-excel-semicolon.csv"_qs) << 12 << u"Müller; Anna"_qs << 0 << 1;
    QTest::newRow("header only: a run broken off before its first answer") << Base + "\r\n"
                                                                           << 0 << QString() << -1 << -1;
}

void tst_report_files::accepted() {
    QFETCH(QByteArray, content);
    const auto read = kivora::readRunFile(content, u"f.csv"_qs);
    const auto *skipped = std::get_if<SkippedFile>(&read);
    QVERIFY2(!skipped, skipped ? qPrintable(skipped->detail(u"f.csv"_qs)) : "");
    const RunFile &run = std::get<RunFile>(read);
    QTEST(int(run.trials.size()), "trials");
    QTEST(run.subject, "subject");
    QTEST(run.lateFlips.value_or(-1), "lateFlips");
    QTEST(run.onsetsExact ? int(*run.onsetsExact) : -1, "exact");
}

void tst_report_files::refused_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("reason");
    // The trials a view of a folder being written reads (a last record without its line end left
    // out); -1: it refuses the file too, at the same line.
    QTest::addColumn<int>("viewTrials");
    QTest::newRow("empty file") << QByteArray() << 0 << u"空のファイル"_qs << -1;
    QTest::newRow("a means file's header") << QByteArray("PresentTime,0,60,120,180,240,300,360\r\n") << 1
                                           << u"列「subject」がありません"_qs << -1;
    QTest::newRow("block unknown") << Base + ",block,round\r\n" + row(1) + ",warmup,\r\n"
                                   << 2 << u"block の値「warmup」"_qs << -1;
    QTest::newRow("practice without its round") << Base + ",block,round\r\n" + row(1) + ",practice,\r\n"
                                                << 2 << u"round の値「」"_qs << -1;
    QTest::newRow("practice after the main trials")
        << Base + ",block,round\r\n" + row(1) + ",main,\r\n" + row(1) + ",practice,1\r\n"
        << 3 << u"練習の行が本番の行の後"_qs << -1;
    QTest::newRow("practice trial skipped in its round")
        << Base + ",block,round\r\n" + row(1) + ",practice,1\r\n" + row(3) + ",practice,1\r\n"
        << 3 << u"trial の値「3」は 2 のはず"_qs << -1;
    QTest::newRow("a later version's column twice") << Base + ",mood,mood\r\n"
                                                    << 1 << u"列「mood」が 2 回"_qs << -1;
    QTest::newRow("late_flips not a number") << Base + ",late_flips\r\n" + row(1) + ",x\r\n"
                                             << 2 << u"late_flips の値「x」は使えません"_qs << -1;
    QTest::newRow("late_flips above four screens") << Base + ",late_flips\r\n" + row(1) + ",5\r\n"
                                                   << 2 << u"late_flips の値「5」"_qs << -1;
    QTest::newRow("unknown onset source") << Base + ",onset_source\r\n" + row(1) + ",vsync\r\n"
                                          << 2 << u"onset_source の値「vsync」"_qs << -1;
    QTest::newRow("unknown compositor word") << Base + ",compositor\r\n" + row(1) + ",maybe\r\n"
                                             << 2 << u"compositor の値「maybe」"_qs << -1;
    QTest::newRow("period_us negative") << Base + ",period_us\r\n" + row(1) + ",-1\r\n"
                                        << 2 << u"period_us の値「-1」"_qs << -1;
    QTest::newRow("fullscreen 2") << Base + ",fullscreen\r\n" + row(1) + ",2\r\n"
                                  << 2 << u"fullscreen の値「2」"_qs << -1;
    QTest::newRow("RT missing") << QByteArray(Base).replace(",RT", "") + "\r\n"
                                << 1 << u"列「RT」がありません"_qs << -1;
    QTest::newRow("column twice") << Base + ",RT\r\n" << 1 << u"列「RT」が 2 回"_qs << -1;
    QTest::newRow("row cut short") << Base + "\r\n" + row(1) + "\r\n山田,x,2\r\n"
                                   << 3 << u"値が 3 個"_qs << -1;
    QTest::newRow("last row still being written")
        << Base + "\r\n" + row(1) + "\r\n" + row(2).left(40) << 3 << u"値が"_qs << 1;
    QTest::newRow("last row being written, cut inside a quoted name")
        << Base + "\r\n" + row(1) + "\r\n\"Doe, J" << 3 << u"閉じられていません"_qs << 1;
    QTest::newRow("last row being written, cut inside a character")
        << Base + "\r\n" + row(1) + "\r\n" + row(2).left(2) << 3 << u"値が 1 個"_qs << 1;
    QTest::newRow("trial skipped") << Base + "\r\n" + row(1) + "\r\n" + row(3) + "\r\n"
                                   << 3 << u"trial の値「3」は 2 のはず"_qs << -1;
    QTest::newRow("FigSet 5") << Base + "\r\n" + row(1).replace(",2,0,1,0,400", ",5,0,1,0,400") + "\r\n"
                              << 2 << u"FigSet の値「5」は使えません（1〜4 の整数）"_qs << -1;
    QTest::newRow("PresentTime 0") << Base + "\r\n" + row(1).replace(",400,", ",0,") + "\r\n"
                                   << 2 << u"PresentTime の値「0」"_qs << -1;
    QTest::newRow("correct against the answer")
        << Base + "\r\n" + row(1).replace(",0,1,600", ",0,0,600") + "\r\n"
        << 2 << u"correct の値「0」が Answer と Mirror に合いません"_qs << -1;
    QTest::newRow("RT a fraction") << Base + "\r\n" + row(1, "山田", 600) + ".5\r\n"
                                   << 2 << u"RT の値「600.5」は整数ではありません"_qs << -1;
    QTest::newRow("another run's row") << Base + "\r\n" + row(1) + "\r\n" + row(2, "佐藤") + "\r\n"
                                       << 3 << u"別の実行の行"_qs << -1;
    QTest::newRow("quote left open") << Base + "\r\n" + row(1) + "\r\n\"山田," + "\r\n"
                                     << 3 << u"閉じられていません"_qs << 1;
    QTest::newRow("stray quote") << Base + "\r\n" + row(1, "山\"田") + "\r\n"
                                 << 2 << u"値の途中に引用符"_qs << -1;
    QTest::newRow("byte order mark, then a name in CP932")
        << "\xEF\xBB\xBF" + Base + "\r\n" + row(1) + "\r\n" + row(2, "\x95\x5c") + "\r\n"
        << 3 << u"UTF-8 として読めない"_qs << -1;
    QTest::newRow("Windows-1252, neither UTF-8 nor CP932")
        << datafiles::corpusFile(u"bad-excel-windows-1252.csv"_qs) << 0 << u"UTF-8 でも CP932"_qs << -1;
    QTest::newRow("CP932 only with its user-defined characters")
        << Base + "\r\n" + row(1, "\xF0\x40") + "\r\n"
        << 0 << u"外字"_qs << -1;
}

void tst_report_files::refused() {
    QFETCH(QByteArray, content);
    QFETCH(int, line);
    QFETCH(QString, reason);
    QFETCH(int, viewTrials);
    const auto read = kivora::readRunFile(content, u"bad.csv"_qs);
    QVERIFY(std::holds_alternative<SkippedFile>(read));
    const SkippedFile &skipped = std::get<SkippedFile>(read);
    QCOMPARE(skipped.line, line);
    QVERIFY2(skipped.reason.contains(reason), qPrintable(skipped.reason));
    QVERIFY(skipped.detail(u"d/bad.csv"_qs)
                .startsWith(line > 0 ? u"d/bad.csv:%1: "_qs.arg(line) : u"d/bad.csv: "_qs));

    const auto view = kivora::readRunFile(content, u"bad.csv"_qs, kivora::UnendedRecord::LeftOut);
    if (viewTrials < 0) {
        QVERIFY(std::holds_alternative<SkippedFile>(view));
        QCOMPARE(std::get<SkippedFile>(view).line, line);
    } else {
        const auto *run = std::get_if<RunFile>(&view);
        QVERIFY2(run, run ? "" : qPrintable(std::get<SkippedFile>(view).detail(u"bad.csv"_qs)));
        QCOMPARE(int(run->trials.size()), viewTrials);
    }
}

// The top level only, in order of name; a _means.csv marks its run complete; anything else is
// skipped with its reason, a .csv that is not a regular file or too large without being read.
void tst_report_files::folder() {
    QTemporaryDir dir;
    QStringList oddEntries; // skipped before they are read: the reading must not wait or fill memory
    QFile big(dir.filePath(u"big.csv"_qs));
    QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(kivora::MaxDataFileBytes + 1));
    big.close();
    oddEntries << u"big.csv"_qs;
    QVERIFY(QDir(dir.path()).mkpath(u"old.csv"_qs));
    oddEntries << u"old.csv"_qs;
#ifdef Q_OS_UNIX
    QCOMPARE(mkfifo(QFile::encodeName(dir.filePath(u"pipe.csv"_qs)).constData(), 0600), 0);
    oddEntries << u"pipe.csv"_qs;
#endif
    const QByteArray one = Base + "\r\n" + row(1) + "\r\n";
    QVERIFY(writeFile(dir.filePath(u"20261208-0930_B.csv"_qs), one));
    QVERIFY(writeFile(dir.filePath(u"20261208-0930_B_means.csv"_qs), "PresentTime,0\r\n"));
    QVERIFY(writeFile(dir.filePath(u"20261208-0900_A.csv"_qs), one));
    QVERIFY(writeFile(dir.filePath(u"notes.txt"_qs), "hello"));
    QVERIFY(writeFile(dir.filePath(u"sheet.csv"_qs), "a,b\r\n"));
    QVERIFY(QDir(dir.path()).mkpath(u"report"_qs));
    QVERIFY(writeFile(dir.filePath(u"report/20261208-1000_C.csv"_qs), one));

    const kivora::RunFolder read = kivora::readRunFolder(dir.path());
    QCOMPARE(read.runs.size(), std::size_t(2));
    QCOMPARE(read.runs[0].fileName, u"20261208-0900_A.csv"_qs);
    QVERIFY(!read.runs[0].complete);
    QCOMPARE(read.runs[1].fileName, u"20261208-0930_B.csv"_qs);
    QVERIFY(read.runs[1].complete);
    QCOMPARE(read.meansFiles, 1);
    QStringList skipped;
    for (const SkippedFile &s : read.skipped)
        skipped << s.detail(s.fileName);
    QCOMPARE(skipped.size(), 2 + oddEntries.size());
    QVERIFY2(skipped.filter(u"notes.txt: "_qs).size() == 1, qPrintable(skipped.join(u'\n')));
    QVERIFY2(skipped.filter(u"sheet.csv:1: "_qs).size() == 1, qPrintable(skipped.join(u'\n')));
    for (const QString &odd : oddEntries)
        QVERIFY2(skipped.filter(odd + u": "_qs).size() == 1, qPrintable(skipped.join(u'\n')));
    QVERIFY2(skipped.filter(QString::number(kivora::MaxDataFileBytes + 1)).size() == 1,
             qPrintable(skipped.join(u'\n'))); // the size said
}

// What the recorder writes during a session, the report reads back: the same subject, the same
// trials, and complete exactly when the run ended with its last answer.
// Files an older version wrote, without the byte order mark, read the same.
void tst_report_files::recordedRunsReadBack_data() {
    QTest::addColumn<QString>("subject");
    QTest::addColumn<bool>("completed");
    QTest::addColumn<bool>("shuffled");
    QTest::addColumn<bool>("byteOrderMark"); // else taken off every file, as older versions wrote them
    QTest::newRow("completed") << u"山田"_qs << true << false << true;
    QTest::newRow("stopped") << u"山田"_qs << false << false << true;
    QTest::newRow("shuffled, a name with comma and quotes") << u"Doe, \"J\""_qs << true << true << true;
    QTest::newRow("completed, no byte order mark") << u"山田"_qs << true << false << false;
    QTest::newRow("stopped, no byte order mark") << u"山田"_qs << false << false << false;
    QTest::newRow("a quoted name first, no byte order mark") << u"\"Doe\", J"_qs << true << true << false;
}

void tst_report_files::recordedRunsReadBack() {
    QFETCH(QString, subject);
    QFETCH(bool, completed);
    QFETCH(bool, shuffled);
    QFETCH(bool, byteOrderMark);
    kivora::TrialTable trials;
    const qint16 count = 5;
    for (qint16 t = 1; t <= count; ++t)
        trials[t] =
            kivora::TrialRec{qint16(t % 4 + 1), 0, qint16(t % 6), qint16(t % 2), 400, qint16(t % 2), 500 + t};
    QTemporaryDir dir;
    {
        kivora::SessionData data(dir.path());
        if (shuffled)
            data.runOrdered(4242);
        data.runStarted(subject, 0);
        for (qint16 t = 1; t <= count; ++t)
            data.answered(t, trials[t], {trials[t].Answer + 1, 0, trials[t].RT * 1000, 400'000});
        if (completed) {
            kivora::RunStats stats;
            kivora::Analyze(trials, count, stats);
            data.runCompleted(stats, 0);
        } else {
            data.runStopped(0);
        }
    }
    if (!byteOrderMark) {
        for (const QString &name : QDir(dir.path()).entryList(QDir::Files)) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::ReadWrite));
            QByteArray content = f.readAll();
            QVERIFY(content.startsWith(kivora::Utf8Bom));
            content.remove(0, kivora::Utf8Bom.size());
            QVERIFY(f.resize(0) && f.write(content) == content.size());
        }
    }
    const kivora::RunFolder read = kivora::readRunFolder(dir.path());
    QVERIFY(read.skipped.empty());
    QCOMPARE(read.runs.size(), std::size_t(1));
    const RunFile &run = read.runs.front();
    QCOMPARE(run.subject, subject);
    QCOMPARE(run.complete, completed);
    QCOMPARE(run.trials.size(), std::size_t(count));
    for (qint16 t = 1; t <= count; ++t)
        QCOMPARE(run.trials[std::size_t(t - 1)], trials[t]);
}

// The files' shape: one row per cell with trials, per run, and per group value; names made safe
// for spreadsheets; undefined numbers empty; incomplete runs listed but not in the group.
void tst_report_files::csvFiles() {
    QTemporaryDir dir;
    // A complete run: at 0° 500 and 700 ms (mean 600), at 180° 950 ms, and an error at 60°: the
    // line through two means, slope (950 − 600) / 180, intercept 600, R² 1.
    const QByteArray complete = Base + "\r\n" + "=x," + Started + ",1,1,0,0,0,400,0,1,500\r\n" + "=x," +
                                Started + ",2,1,0,0,1,400,1,1,700\r\n" + "=x," + Started +
                                ",3,1,0,3,0,400,0,1,950\r\n" + "=x," + Started + ",4,1,0,1,0,400,1,0,650\r\n";
    QVERIFY(writeFile(dir.filePath(u"1_x.csv"_qs), complete));
    QVERIFY(writeFile(dir.filePath(u"1_x_means.csv"_qs), "PresentTime\r\n"));
    // Two practice rounds before its one main trial: counted apart, in no statistic.
    QVERIFY(writeFile(dir.filePath(u"2_y.csv"_qs),
                      Base + StudyColumns + row(1, "y", 300) + ",0,flip,16667,yes,0,practice,1\r\n" +
                          row(1, "y", 300).replace(",0,1,300", ",1,0,300") +
                          ",0,flip,16667,yes,0,practice,2\r\n" + row(2, "y", 300) +
                          ",0,flip,16667,yes,0,practice,2\r\n" + row(1, "y", 800) +
                          ",2,flip,16667,yes,0,main,\r\n"));
    const kivora::Report report = kivora::makeReport(dir.path(), kivora::readRunFolder(dir.path()), {});

    const QList<QByteArray> cells = csvLines(kivora::cellsCsv(report));
    QCOMPARE(cells.value(0),
             QByteArray("subject,run_started,file,PresentTime,disparity,Mirror,trials,correct,mean_rt,"
                        "median_rt,sd_rt"));
    QCOMPARE(cells.size(), 1 + 4 + 1);
    QCOMPARE(cells[1], "'=x," + Started + ",1_x.csv,400,0,0,1,1,500,500,");
    QCOMPARE(cells[3], "'=x," + Started + ",1_x.csv,400,60,0,1,0,,,");

    const QList<QByteArray> runs = csvLines(kivora::runsCsv(report));
    QCOMPARE(
        runs.value(0),
        QByteArray("subject,run_started,file,trials,complete,correct,accuracy,excluded,late_flips,"
                   "onsets_exact,practice_trials,practice_correct,practice_rounds,slope_400,intercept_400,"
                   "r2_400"));
    QCOMPARE(runs.value(1), "'=x," + Started + ",1_x.csv,4,1,3,0.75,0,,,0,0,0," +
                                kivora::csvNumber(350.0 / 180).toUtf8() + ",600,1");
    QCOMPARE(runs.value(2), "y," + Started + ",2_y.csv,1,0,1,1,0,2,0,3,2,2,,,");

    const QList<QByteArray> group = csvLines(kivora::groupCsv(report));
    QCOMPARE(group.value(0), QByteArray("measure,PresentTime,disparity,n,mean,sd,se,ci_low,ci_high,t,df,p"));
    QCOMPARE(group.size(), 1 + 4 + 1);
    QCOMPARE(group[1], QByteArray("rt,400,0,1,600,,,,,,,")); // the incomplete run's 800 ms is not in
    QCOMPARE(group[2], QByteArray("rt,400,60,0,,,,,,,,"));
    QCOMPARE(group[5], "slope,400,,1," + kivora::csvNumber(350.0 / 180).toUtf8() + ",,,,,,,");

    // On disk each table follows the byte order mark, for Excel.
    QTemporaryDir out;
    const QString folder = out.filePath(u"new/report"_qs);
    kivora::writeReportCsv(report, folder);
    QCOMPARE(QDir(folder).entryList(QDir::Files),
             (QStringList{u"cells.csv"_qs, u"group.csv"_qs, u"runs.csv"_qs}));
    const std::pair<QString, QByteArray> tables[] = {{u"cells.csv"_qs, kivora::cellsCsv(report)},
                                                     {u"runs.csv"_qs, kivora::runsCsv(report)},
                                                     {u"group.csv"_qs, kivora::groupCsv(report)}};
    for (const auto &[name, table] : tables) {
        QFile f(QDir(folder).filePath(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), kivora::Utf8Bom.toByteArray() + table);
    }
}

// Every file of the data-file corpus (the data file of every version the program wrote, and files
// saved again by Excel) keeps the reader's promises; valid-* give a run, bad-* are skipped, and a
// run is said to be read as CP932 where its file's name says cp932.
void tst_report_files::corpus_data() {
    QTest::addColumn<QString>("name");
    const QStringList files = datafiles::corpusFiles();
    QVERIFY(!files.isEmpty());
    for (const QString &name : files)
        QTest::newRow(qPrintable(name)) << name;
}

void tst_report_files::corpus() {
    QFETCH(QString, name);
    const QByteArray content = datafiles::corpusFile(name);
    const QString broken = datafiles::brokenPromise(content);
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
    const auto read = kivora::readRunFile(content, name);
    QCOMPARE(std::holds_alternative<RunFile>(read), name.startsWith(u"valid-"_qs));
    if (const auto *run = std::get_if<RunFile>(&read))
        QCOMPARE(run->encoding == kivora::TextEncoding::Cp932, name.contains(u"cp932"_qs));
}

QTEST_GUILESS_MAIN(tst_report_files)
#include "tst_report_files.moc"
