// --make-plan and --report through the real program (needs no display).
#include "support/Files.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Result {
    int status = -1;
    QString out;
    QString err;
};

Result kivora(const QStringList &args, const QString &folder) {
    QProcess p;
    p.setWorkingDirectory(folder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"QT_QPA_PLATFORM"_qs); // the program picks offscreen itself
    env.remove(u"DISPLAY"_qs);
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("KIVORA_PROGRAM"), args);
    if (!p.waitForFinished(60000))
        return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

using files::writeFile;

const QByteArray Header =
    "subject,run_started,trial,FigSet,StartDir,CueDir,Mirror,PresentTime,Answer,correct,RT,"
    "order_seed\r\n";

// A complete run at 400 ms whose RT rises by `slope` ms per degree of disparity, exactly.
QByteArray straightRun(const QByteArray &name, int slope) {
    QByteArray out = Header;
    for (int cue = 0; cue <= 3; ++cue)
        out += name + ",2026-12-08T09:30:05+09:00," + QByteArray::number(cue + 1) + ",1,0," +
               QByteArray::number(cue) + ",0,400,0,1," + QByteArray::number(500 + slope * 60 * cue) +
               ",7\r\n";
    return out;
}

} // namespace

class tst_class_commands : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(QFile::exists(qEnvironmentVariable("KIVORA_PROGRAM"))); }
    void makePlanRefused_data();
    void makePlanRefused();
    void madePlanPassesCheck();
    void planNeverOverwritten();
    void reportOfNothing();
    void reportWithSlopeTable();
};

void tst_class_commands::makePlanRefused_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("says");
    QTest::newRow("too many trials") << QStringList{u"--start-dirs"_qs, u"0,3"_qs}
                                     << u"288 trials; a plan holds at most 144: reduce"_qs;
    QTest::newRow("seven times") << QStringList{u"--times"_qs, u"100,200,300,400,500,600,700"_qs}
                                 << u"a plan holds at most 6: reduce --times"_qs;
    QTest::newRow("not a list") << QStringList{u"--figsets"_qs, u"1;2"_qs}
                                << u"--figsets wants whole numbers"_qs;
}

void tst_class_commands::makePlanRefused() {
    QFETCH(QStringList, args);
    QFETCH(QString, says);
    QTemporaryDir dir;
    const Result r = kivora(QStringList{u"--make-plan"_qs, u"plan.csv"_qs} + args, dir.path());
    QVERIFY(r.status > 0);
    QVERIFY2(r.err.contains(says), qPrintable(r.err));
    QVERIFY(!QFile::exists(dir.filePath(u"plan.csv"_qs)));
}

// What --make-plan writes loads in --check; the printed seed makes the same file again.
void tst_class_commands::madePlanPassesCheck() {
    QTemporaryDir dir;
    const Result made = kivora({u"--make-plan"_qs, u"a.csv"_qs, u"--times"_qs, u"300,900"_qs}, dir.path());
    QCOMPARE(made.status, 0);
    const QRegularExpressionMatch m = QRegularExpression(u"(\\d+) trials, seed (\\d+)"_qs).match(made.out);
    QVERIFY2(m.hasMatch(), qPrintable(made.out));
    QCOMPARE(m.captured(1), u"96"_qs);
    const Result check = kivora({u"--check"_qs, u"--plan"_qs, u"a.csv"_qs}, dir.path());
    QCOMPARE(check.status, 0);
    QVERIFY2(check.out.contains(u"trials: 96\npresent times (ms): "_qs), qPrintable(check.out));
    QVERIFY(check.out.contains(u"CueDir 0-5: 16 16 16 16 16 16"_qs));

    const Result again =
        kivora({u"--make-plan"_qs, u"b.csv"_qs, u"--times"_qs, u"300,900"_qs, u"--seed"_qs, m.captured(2)},
               dir.path());
    QCOMPARE(again.status, 0);
    QCOMPARE(files::readFile(dir.filePath(u"b.csv"_qs)), files::readFile(dir.filePath(u"a.csv"_qs)));
}

void tst_class_commands::planNeverOverwritten() {
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(u"mine.csv"_qs), "1,0,0,0,400\r\n"));
    const Result r = kivora({u"--make-plan"_qs, u"mine.csv"_qs}, dir.path());
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains(u"never overwritten"_qs), qPrintable(r.err));
    QCOMPARE(files::readFile(dir.filePath(u"mine.csv"_qs)), QByteArray("1,0,0,0,400\r\n"));
}

// No run read: status 1, the skipped file named with its line, nothing written.
void tst_class_commands::reportOfNothing() {
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(u"x.csv"_qs), "a,b\r\n"));
    const Result r = kivora({u"--report"_qs, u"."_qs}, dir.path());
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains(u"x.csv:1: "_qs), qPrintable(r.err));
    QVERIFY(!QFileInfo::exists(dir.filePath(u"report"_qs)));
}

// Three complete runs with slopes 2, 3 and 4 ms per degree, three incomplete runs (one of them on a
// composited display, one saved again by Excel in CP932) and a broken file: the first page of the
// PDF holds the slope table (mean 3.00, SE 0.58, t 5.20 with 2 df, p 0.035) and names the skipped
// file, the run whose onsets were not exact and the file read as CP932 with its name; the CSV
// files are beside it.
void tst_class_commands::reportWithSlopeTable() {
    const QString pdftotext = QStandardPaths::findExecutable(u"pdftotext"_qs);
    if (pdftotext.isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    QTemporaryDir dir;
    for (int slope : {2, 3, 4}) {
        const QString stem = u"20261208-09300%1_r%1"_qs.arg(slope);
        QVERIFY(
            writeFile(dir.filePath(stem + u".csv"_qs), straightRun("r" + QByteArray::number(slope), slope)));
        QVERIFY(writeFile(dir.filePath(stem + u"_means.csv"_qs), "PresentTime\r\n"));
    }
    QVERIFY(writeFile(dir.filePath(u"20261208-093009_late.csv"_qs), straightRun("late", 9)));
    QVERIFY(writeFile(dir.filePath(u"broken.csv"_qs), Header + "r,x,1,9\r\n"));
    // A run on a composited display with a late flip: named on the first page, counted all the same.
    QVERIFY(writeFile(dir.filePath(u"20261208-093010_comp.csv"_qs),
                      "subject,run_started,trial,FigSet,StartDir,CueDir,Mirror,PresentTime,Answer,correct,RT,"
                      "late_flips,onset_source,period_us,compositor,fullscreen\r\n"
                      "comp,2026-12-08T09:30:10+09:00,1,1,0,0,0,400,0,1,500,1,flip,16667,yes,0\r\n"));

    // 佐藤 花子 in code page 932.
    QVERIFY(writeFile(
        dir.filePath(u"20261208-093011_sato.csv"_qs),
        Header + "\x8d\xb2\x93\xa1 \x89\xd4\x8e\x71,2026-12-08T09:30:11+09:00,1,1,0,0,0,400,0,1,500,7\r\n"));

    const Result r = kivora({u"--report"_qs, dir.path(), u"--out"_qs, u"out"_qs}, dir.path());
    QCOMPARE(r.status, 0);
    QVERIFY2(r.err.contains(u"broken.csv:2: "_qs), qPrintable(r.err));
    QVERIFY2(r.out.contains(u"read as CP932: 20261208-093011_sato.csv;"_qs), qPrintable(r.out));
    const QStringList written = QDir(dir.filePath(u"out"_qs)).entryList(QDir::Files);
    QCOMPARE(written, (QStringList{u"cells.csv"_qs, u"group.csv"_qs, u"report.pdf"_qs, u"runs.csv"_qs}));

    QProcess text;
    text.start(pdftotext, {u"-layout"_qs, u"-f"_qs, u"1"_qs, u"-l"_qs, u"1"_qs,
                           dir.filePath(u"out/report.pdf"_qs), u"-"_qs});
    QVERIFY(text.waitForFinished(30000));
    const QString page = QString::fromUtf8(text.readAllStandardOutput()).simplified();
    QVERIFY2(page.contains(u"呈示時間 n 傾きの平均 SE 95% 信頼区間 t df p"_qs), qPrintable(page));
    QVERIFY2(page.contains(u"呈示 400mS 3 3.00 0.58 0.52 〜 5.48 5.20 2 0.035"_qs), qPrintable(page));
    QVERIFY2(page.contains(u"実行: 読み込み 6 (完了 3"_qs), qPrintable(page));
    QVERIFY2(page.contains(u"read as CP932: 20261208-093011_sato.csv"_qs), qPrintable(page));
    QVERIFY2(page.contains(u"佐藤 花子 (1 試行に回答) 20261208-093011_sato.csv"_qs), qPrintable(page));
    QVERIFY2(
        page.contains(u"comp (表示時刻が正確でない試行あり、表示の遅れ 1 回) 20261208-093010_comp.csv"_qs),
        qPrintable(page));
    QVERIFY2(page.contains(u"broken.csv:2: "_qs), qPrintable(page));
}

QTEST_GUILESS_MAIN(tst_class_commands)
#include "tst_class_commands.moc"
