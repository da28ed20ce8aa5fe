#include "run/PlanReader.h"
#include "support/PlanCorpus.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace kivora;

namespace kivora {
char *toString(const TrialRec &r) {
    return QTest::toString(
        u"{FigSet %1, StartDir %2, CueDir %3, Mirror %4, PresentTime %5, Answer %6, RT %7}"_qs.arg(r.FigSet)
            .arg(r.StartDir)
            .arg(r.CueDir)
            .arg(r.Mirror)
            .arg(r.PresentTime)
            .arg(r.Answer)
            .arg(r.RT));
}
} // namespace kivora

Q_DECLARE_METATYPE(kivora::TrialRec)

using plans::corpusFile;
using plans::sentinelTable;

namespace {

const TrialRec &sentinel = plans::Sentinel;

// A loaded trial as it should read: the five plan fields, Answer and RT still the sentinel's.
TrialRec trial(qint16 figSet, qint16 startDir, qint16 cueDir, qint16 mirror, qint16 presentTime) {
    return TrialRec{figSet, startDir, cueDir, mirror, presentTime, sentinel.Answer, sentinel.RT};
}

// Trial i (0-based) of a balanced plan: 36 per figure set, 24 per cue direction, 72 per mirror
// code, presentation times 400, 800 and 1200 in blocks of 12.
TrialRec balancedTrial(int i) {
    static const qint16 times[] = {400, 800, 1200};
    return trial(qint16(i % 4 + 1), qint16(i / 6 % 6), qint16(i % 6), qint16(i % 2), times[i / 12 % 3]);
}

QByteArray line(const TrialRec &r) {
    return QByteArray::number(r.FigSet) + ',' + QByteArray::number(r.StartDir) + ',' +
           QByteArray::number(r.CueDir) + ',' + QByteArray::number(r.Mirror) + ',' +
           QByteArray::number(r.PresentTime);
}

QByteArray balancedPlan(int n, const QByteArray &lineEnd = "\r\n") {
    QByteArray plan;
    for (int i = 0; i < n; ++i)
        plan += line(balancedTrial(i)) + lineEnd;
    return plan;
}

// The same plan with two trials a line, joined by a comma.
QByteArray pairedPlan(int n) {
    QByteArray plan;
    for (int i = 0; i < n; ++i)
        plan += line(balancedTrial(i)) + (i % 2 == 0 && i + 1 < n ? "," : "\r\n");
    return plan;
}

QByteArray repeated(const QByteArray &text, int times) {
    QByteArray out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

} // namespace

class tst_RunPlan : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void accepted_data();
    void accepted();
    void refused_data();
    void refused();
    void messages_data();
    void messages();
    void corpus_data();
    void corpus();

    void loadPlanFile_data();
    void loadPlanFile();
    void loadPlanFileRefused_data();
    void loadPlanFileRefused();
    void loadPlanFileUnreadable();

    void summary_data();
    void summary();

    void tableBounds_data();
    void tableBounds();
    void trialRecordLayout();

private:
    QTemporaryDir m_dir;
};

void tst_RunPlan::initTestCase() {
    QVERIFY(m_dir.isValid());
}

void tst_RunPlan::accepted_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("count");
    QTest::addColumn<TrialRec>("first");
    QTest::addColumn<TrialRec>("last");

    const TrialRec none = sentinel;
    const TrialRec a = trial(1, 0, 3, 0, 1200);
    const TrialRec b = trial(2, 5, 1, 1, 400);
    const TrialRec c = trial(2, 0, 2, 1, 400);

    QTest::newRow("empty file") << corpusFile(u"empty.csv"_qs) << 0 << none << none;
    QTest::newRow("only blanks and blank lines") << QByteArray(" \t\r\n\n  \n\r\n") << 0 << none << none;
    QTest::newRow("only a byte-order mark") << QByteArray("\xEF\xBB\xBF") << 0 << none << none;
    QTest::newRow("byte-order mark and a line end") << QByteArray("\xEF\xBB\xBF\r\n") << 0 << none << none;

    QTest::newRow("one trial, CR LF") << QByteArray("1,0,3,0,1200\r\n") << 1 << a << a;
    QTest::newRow("one trial, LF") << QByteArray("1,0,3,0,1200\n") << 1 << a << a;
    QTest::newRow("one trial, no final line end") << QByteArray("1,0,3,0,1200") << 1 << a << a;
    QTest::newRow("two trials, CR LF") << corpusFile(u"valid-two.csv"_qs) << 2 << a << c;
    QTest::newRow("two trials, LF, none at the end")
        << QByteArray("1,0,3,0,1200\n2,5,1,1,400") << 2 << a << b;
    QTest::newRow("two trials, lone CR")
        << corpusFile(u"valid-cr.csv"_qs) << 2 << trial(1, 0, 3, 0, 400) << trial(1, 0, 3, 1, 400);
    QTest::newRow("ten values on one line") << corpusFile(u"valid-one-line.csv"_qs) << 2 << a << c;
    QTest::newRow("one trial over two lines") << QByteArray("1,0,3\r\n0,1200\r\n") << 1 << a << a;
    QTest::newRow("one value a line") << QByteArray("1\n0\n3\n0\n1200\n") << 1 << a << a;
    QTest::newRow("trials across line ends")
        << QByteArray("1,0,3,0\r\n1200,2,5\r\n1,1,400\r\n") << 2 << a << b;
    QTest::newRow("blank line inside a trial") << QByteArray("1,0\r\n\r\n3,0,1200\r\n") << 1 << a << a;
    QTest::newRow("blanks around values")
        << QByteArray(" 1 ,\t0\t, 3,0 ,  1200  \r\n  2,5 ,1,1,400\t\r\n") << 2 << a << b;
    QTest::newRow("blank lines before, between, after")
        << QByteArray("\r\n \r\n1,0,3,0,1200\r\n\r\n\t\r\n2,5,1,1,400\r\n\r\n\r\n") << 2 << a << b;
    QTest::newRow("byte-order mark before the first trial") << QByteArray("\xEF\xBB\xBF"
                                                                          "1,0,3,0,1200\r\n")
                                                            << 1 << a << a;
    QTest::newRow("plus signs and leading zeros") << QByteArray("+1,00,003,-0,+01200\r\n") << 1 << a << a;
    QTest::newRow("lowest values") << QByteArray("1,0,0,0,1\r\n") << 1 << trial(1, 0, 0, 0, 1)
                                   << trial(1, 0, 0, 0, 1);
    QTest::newRow("highest values") << QByteArray("4,5,5,1,32767\r\n") << 1 << trial(4, 5, 5, 1, 32767)
                                    << trial(4, 5, 5, 1, 32767);
    QTest::newRow("six presentation times")
        << QByteArray("1,0,0,0,100\n1,0,0,0,200\n1,0,0,0,300\n1,0,0,0,100\n1,0,0,0,400\n"
                      "1,0,0,0,500\n1,0,0,0,600\n1,0,0,0,300\n")
        << 8 << trial(1, 0, 0, 0, 100) << trial(1, 0, 0, 0, 300);
    QTest::newRow("144 trials") << balancedPlan(144) << 144 << balancedTrial(0) << balancedTrial(143);
    QTest::newRow("144 trials, LF, blank lines after") << balancedPlan(144, "\n") + "\n\n  \n"
                                                       << 144 << balancedTrial(0) << balancedTrial(143);
    QTest::newRow("144 trials, two a line")
        << pairedPlan(144) << 144 << balancedTrial(0) << balancedTrial(143);
}

void tst_RunPlan::accepted() {
    QFETCH(QByteArray, content);
    QFETCH(int, count);
    QFETCH(TrialRec, first);
    QFETCH(TrialRec, last);

    TrialTable trials = sentinelTable();
    QCOMPARE(readPlan(content, u"plan.csv"_qs, trials), qint16(count));
    if (count > 0) {
        QCOMPARE(trials[1], first);
        QCOMPARE(trials[count], last);
    }
    QCOMPARE(trials[0], sentinel);
    for (int i = 1; i <= count; ++i) {
        QCOMPARE(trials[i].Answer, sentinel.Answer);
        QCOMPARE(trials[i].RT, sentinel.RT);
    }
    for (int i = count + 1; i <= MaxTrials; ++i)
        QCOMPARE(trials[i], sentinel);
}

void tst_RunPlan::refused_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("loaded"); // trials written before the refused one

    const QByteArray ok = "1,0,3,0,1200\r\n";
    const QString none;

    // Too many trials: the count is raised before a trial is read, and the 145th is refused at the
    // line where it begins.
    QTest::newRow("145 trials") << corpusFile(u"bad-145-records.csv"_qs) << int(ErrSubscript) << 145 << none
                                << 144;
    QTest::newRow("145th after blank lines")
        << balancedPlan(144) + "\r\n\r\n" + ok << int(ErrSubscript) << 147 << none << 144;
    QTest::newRow("145th sharing a line with the 144th")
        << pairedPlan(144).chopped(2) + "," + ok << int(ErrSubscript) << 72 << none << 144;
    QTest::newRow("145th only begun") << balancedPlan(144) + "1" << int(ErrSubscript) << 145 << none << 144;

    // Values that do not fit 16 bits.
    QTest::newRow("70000") << corpusFile(u"bad-overflow.csv"_qs) << int(ErrOverflow) << 1 << u"PresentTime"_qs
                           << 0;
    QTest::newRow("32768") << QByteArray("1,0,3,0,32768") << int(ErrOverflow) << 1 << u"PresentTime"_qs << 0;
    QTest::newRow("-32769") << QByteArray("1,-32769,3,0,800") << int(ErrOverflow) << 1 << u"StartDir"_qs << 0;
    // 2^32 + 1: wraps to 1 in 32-bit arithmetic.
    QTest::newRow("4294967297") << QByteArray("4294967297,0,3,0,800") << int(ErrOverflow) << 1 << u"FigSet"_qs
                                << 0;
    QTest::newRow("twenty-five digits")
        << QByteArray("1234567890123456789012345,0,3,0,800") << int(ErrOverflow) << 1 << u"FigSet"_qs << 0;

    // Not a plain decimal integer.
    QTest::newRow("fraction") << corpusFile(u"bad-fraction.csv"_qs) << int(ErrTypeMismatch) << 1
                              << u"PresentTime"_qs << 0;
    QTest::newRow("whole fraction") << QByteArray("1.0,0,3,0,800") << int(ErrTypeMismatch) << 1
                                    << u"FigSet"_qs << 0;
    QTest::newRow("exponent") << ok + "1,0,3,0,1e3" << int(ErrTypeMismatch) << 2 << u"PresentTime"_qs << 1;
    QTest::newRow("quoted") << corpusFile(u"bad-quoted.csv"_qs) << int(ErrTypeMismatch) << 1 << u"FigSet"_qs
                            << 0;
    QTest::newRow("text") << QByteArray("1,0,abc,0,800") << int(ErrTypeMismatch) << 1 << u"CueDir"_qs << 0;
    QTest::newRow("header line") << QByteArray("FigSet,StartDir,CueDir,Mirror,PresentTime\r\n") + ok
                                 << int(ErrTypeMismatch) << 1 << u"FigSet"_qs << 0;
    QTest::newRow("hexadecimal") << QByteArray("1,0,3,0,0x320") << int(ErrTypeMismatch) << 1
                                 << u"PresentTime"_qs << 0;
    QTest::newRow("sign alone") << QByteArray("1,-,3,0,800") << int(ErrTypeMismatch) << 1 << u"StartDir"_qs
                                << 0;
    QTest::newRow("two signs") << QByteArray("1,--1,3,0,800") << int(ErrTypeMismatch) << 1 << u"StartDir"_qs
                               << 0;
    QTest::newRow("blank after the sign")
        << QByteArray("1,0,3,- 0,800") << int(ErrTypeMismatch) << 1 << u"Mirror"_qs << 0;
    QTest::newRow("blank inside a value")
        << QByteArray("1,0,3,0,12 00") << int(ErrTypeMismatch) << 1 << u"PresentTime"_qs << 0;
    QTest::newRow("semicolon separator")
        << QByteArray("1;0;3;0;800") << int(ErrTypeMismatch) << 1 << u"FigSet"_qs << 0;
    QTest::newRow("full-width digits")
        << ok + u"1,0,3,0,１２００"_qs.toUtf8() << int(ErrTypeMismatch) << 2 << u"PresentTime"_qs << 1;
    QTest::newRow("byte-order mark not at the start")
        << ok + "\xEF\xBB\xBF" + ok << int(ErrTypeMismatch) << 2 << u"FigSet"_qs << 1;
    QTest::newRow("NUL byte") << QByteArray("1,0,3,0,8\0"
                                            "00",
                                            12)
                              << int(ErrTypeMismatch) << 1 << u"PresentTime"_qs << 0;
    QTest::newRow("form feed line end")
        << QByteArray("1,0,3,0,800\f") << int(ErrTypeMismatch) << 1 << u"PresentTime"_qs << 0;

    // Empty values.
    QTest::newRow("empty value between commas")
        << corpusFile(u"bad-empty-value.csv"_qs) << int(ErrTypeMismatch) << 1 << u"CueDir"_qs << 0;
    QTest::newRow("blanks between commas")
        << QByteArray("1,0, \t,0,1200") << int(ErrTypeMismatch) << 1 << u"CueDir"_qs << 0;
    QTest::newRow("comma at the line start")
        << QByteArray(",1,0,3,0,1200") << int(ErrTypeMismatch) << 1 << u"FigSet"_qs << 0;
    QTest::newRow("comma at a line start inside a trial")
        << QByteArray("1,0,3\r\n,0,1200") << int(ErrTypeMismatch) << 2 << u"Mirror"_qs << 0;
    QTest::newRow("trailing comma after the last trial") << ok + "2,5,1,1,400,\r\n"
                                                         << int(ErrTypeMismatch) << 2 << u"FigSet"_qs << 2;
    QTest::newRow("trailing comma at the file end")
        << QByteArray("1,0,3,0,1200,") << int(ErrTypeMismatch) << 1 << u"FigSet"_qs << 1;
    QTest::newRow("trailing comma inside a trial")
        << QByteArray("1,0,3,\r\n0,1200\r\n") << int(ErrTypeMismatch) << 1 << u"Mirror"_qs << 0;
    QTest::newRow("trailing comma after the 144th trial")
        << balancedPlan(144).chopped(2) + ",\r\n"
        << int(ErrTypeMismatch) << 144 << u"FigSet"_qs << 144;

    // The file ends inside a trial: the line of the last value read, the field of the first
    // missing one.
    QTest::newRow("ends after three values")
        << QByteArray("1,0,3") << int(ErrInputPastEnd) << 1 << u"Mirror"_qs << 0;
    QTest::newRow("ends after one value") << ok + "2\r\n" << int(ErrInputPastEnd) << 2 << u"StartDir"_qs << 1;
    QTest::newRow("ends after four values and blank lines")
        << QByteArray("1,0,3,0\r\n\r\n\r\n") << int(ErrInputPastEnd) << 1 << u"PresentTime"_qs << 0;
    QTest::newRow("second trial over lines, cut short")
        << ok + "2,5\r\n1,1\r\n"
        << int(ErrInputPastEnd) << 3 << u"PresentTime"_qs << 1;
    QTest::newRow("nine values on one line")
        << QByteArray("1,0,3,0,1200,2,5,1,1") << int(ErrInputPastEnd) << 1 << u"PresentTime"_qs << 1;

    // Values the program cannot use, at both bounds of every field.
    const struct {
        const char *name;
        const char *content;
        const char16_t *field;
    } outOfRange[] = {
        {"FigSet 0", "0,0,3,0,800", u"FigSet"},
        {"FigSet 5", "5,0,3,0,800", u"FigSet"},
        {"FigSet -1", "-1,0,3,0,800", u"FigSet"},
        {"StartDir -1", "1,-1,3,0,800", u"StartDir"},
        {"StartDir 6", "1,6,3,0,800", u"StartDir"},
        {"CueDir -1", "1,0,-1,0,800", u"CueDir"},
        {"CueDir 6", "1,0,6,0,800", u"CueDir"},
        {"CueDir 7", "1,0,7,0,800", u"CueDir"},
        {"Mirror -1", "1,0,3,-1,800", u"Mirror"},
        {"Mirror 2", "1,0,3,2,800", u"Mirror"},
        {"PresentTime 0", "1,0,3,0,0", u"PresentTime"},
        {"PresentTime -5", "1,0,3,0,-5", u"PresentTime"},
        {"PresentTime -32768", "1,0,3,0,-32768", u"PresentTime"},
    };
    for (const auto &r : outOfRange) {
        QTest::newRow(r.name) << ok + r.content + "\r\n"
                              << int(ErrInvalidProperty) << 2 << QString::fromUtf16(r.field) << 1;
    }
    QTest::newRow("out of range on the second line of a trial")
        << QByteArray("1,0,3\r\n\r\n9,800\r\n") << int(ErrInvalidProperty) << 3 << u"Mirror"_qs << 0;
    QTest::newRow("first fault in reading order")
        << QByteArray("1,9,abc,0,800") << int(ErrInvalidProperty) << 1 << u"StartDir"_qs << 0;

    // A seventh distinct presentation time, refused at the trial that brings it.
    const QByteArray sixTimes = "1,0,0,0,100\n1,0,0,0,200\n1,0,0,0,300\n1,0,0,0,400\n"
                                "1,0,0,0,500\n1,0,0,0,600\n";
    QTest::newRow("seventh time") << corpusFile(u"bad-seventh-time.csv"_qs) << int(ErrInvalidProperty) << 7
                                  << u"PresentTime"_qs << 6;
    QTest::newRow("seventh time after repeats") << sixTimes + "1,0,0,0,600\n1,0,0,0,100\n1,0,0,0,1200\n"
                                                << int(ErrInvalidProperty) << 9 << u"PresentTime"_qs << 8;
    QTest::newRow("seventh time on the second line of a trial")
        << sixTimes + "1,0,0,0\n700\n"
        << int(ErrInvalidProperty) << 8 << u"PresentTime"_qs << 6;
}

void tst_RunPlan::refused() {
    QFETCH(QByteArray, content);
    QFETCH(int, number);
    QFETCH(int, line);
    QFETCH(QString, field);
    QFETCH(int, loaded);

    TrialTable trials = sentinelTable();
    try {
        const qint16 count = readPlan(content, u"plan.csv"_qs, trials);
        QFAIL(qPrintable(u"accepted with %1 trials"_qs.arg(count)));
    } catch (const PlanError &e) {
        QCOMPARE(e.number(), number);
        QCOMPARE(e.line(), line);
        QCOMPARE(e.field(), field);
        QCOMPARE(e.file(), u"plan.csv"_qs);
        QVERIFY(!e.message().isEmpty());
    }
    // The trials before the refused one are written; the refused one and all after it are not.
    QCOMPARE(trials[0], sentinel);
    for (int i = 1; i <= loaded; ++i)
        QVERIFY2(trials[i].FigSet != sentinel.FigSet, qPrintable(u"trial %1 not written"_qs.arg(i)));
    for (int i = loaded + 1; i <= MaxTrials; ++i)
        QCOMPARE(trials[i], sentinel);
}

void tst_RunPlan::messages_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("location");

    QTest::newRow("out of range") << QByteArray("1,0,7,0,800")
                                  << u"plan.csv:1: CueDir の値 7 は使えません（0〜5 の整数）"_qs;
    QTest::newRow("out of range, written with a plus")
        << QByteArray("1,0,3,0,+0") << u"plan.csv:1: PresentTime の値 0 は使えません（1〜32767 の整数）"_qs;
    QTest::newRow("not an integer")
        << QByteArray("1,0,3,0, 1.5 ")
        << u"plan.csv:1: PresentTime の値「1.5」は整数ではありません（1〜32767 の整数）"_qs;
    QTest::newRow("empty") << corpusFile(u"bad-empty-value.csv"_qs)
                           << u"plan.csv:1: CueDir の値が空です（0〜5 の整数）"_qs;
    QTest::newRow("overflow")
        << corpusFile(u"bad-overflow.csv"_qs)
        << u"plan.csv:1: PresentTime の値 70000 は 16 ビット整数に収まりません（1〜32767 の整数）"_qs;
    QTest::newRow("145th trial") << corpusFile(u"bad-145-records.csv"_qs)
                                 << u"plan.csv:145: 145 件目の試行です（試行は 144 件まで）"_qs;
    QTest::newRow("ends inside a trial")
        << QByteArray("1,0,3\n")
        << u"plan.csv:1: ファイルが試行の途中で終わっています（Mirror の値がありません。1 試行は FigSet, "
           u"StartDir, CueDir, Mirror, PresentTime の 5 つの値）"_qs;
    QTest::newRow("seventh time")
        << corpusFile(u"bad-seventh-time.csv"_qs)
        << u"plan.csv:7: PresentTime の値 7 は 7 種類目の提示時間です（提示時間は 1、2、3、4、5、6 の 6 種類まで）"_qs;
    QTest::newRow("long value cut")
        << repeated("x", 5000)
        << u"plan.csv:1: FigSet の値「xxxxxxxxxxxxxxxxxxxx…」は整数ではありません（1〜4 の整数）"_qs;
    QTest::newRow("control and invalid bytes shown as replacement characters")
        << QByteArray("1\0\x1b\xff", 4)
        << u"plan.csv:1: FigSet の値「1\uFFFD\uFFFD\uFFFD」は整数ではありません（1〜4 の整数）"_qs;
    QTest::newRow("Japanese text shown as written")
        << u"1,0,3,0,千"_qs.toUtf8()
        << u"plan.csv:1: PresentTime の値「千」は整数ではありません（1〜32767 の整数）"_qs;
}

void tst_RunPlan::messages() {
    QFETCH(QByteArray, content);
    QFETCH(QString, location);

    TrialTable trials;
    try {
        readPlan(content, u"plan.csv"_qs, trials);
        QFAIL("accepted");
    } catch (const PlanError &e) {
        QCOMPARE(e.detail(), location);
        // The standard error box shows the number's standard message with the place below it.
        QVERIFY2(e.text().endsWith(u"。\n"_qs + location), qPrintable(e.text()));
    }
}

// Every file of the plan corpus, as the fuzz target starts from it: the reader keeps its
// promises, and does with the file what its name says (bad-*: refused, valid-*: trials loaded,
// empty*: no trials).
void tst_RunPlan::corpus_data() {
    QTest::addColumn<QByteArray>("content");
    const QStringList files = plans::corpusFiles();
    QVERIFY(!files.isEmpty());
    for (const QString &name : files)
        QTest::newRow(qPrintable(name)) << corpusFile(name);
}

void tst_RunPlan::corpus() {
    QFETCH(QByteArray, content);
    const QString broken = plans::brokenPromise(content);
    QVERIFY2(broken.isEmpty(), qPrintable(broken));

    const QString name = QString::fromLatin1(QTest::currentDataTag());
    TrialTable trials;
    int loaded = -1;
    try {
        loaded = readPlan(content, name, trials);
    } catch (const PlanError &) {
    }
    if (name.startsWith(u"bad-"_qs))
        QCOMPARE(loaded, -1);
    else if (name.startsWith(u"valid-"_qs))
        QVERIFY2(loaded > 0, qPrintable(QString::number(loaded)));
    else if (name.startsWith(u"empty"_qs))
        QCOMPARE(loaded, 0);
    else
        QFAIL("corpus files are named bad-*, valid-* or empty*");
}

void tst_RunPlan::loadPlanFile_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("count");

    QTest::newRow("empty file") << corpusFile(u"empty.csv"_qs) << 0;
    QTest::newRow("144 trials") << balancedPlan(144) << 144;
}

void tst_RunPlan::loadPlanFile() {
    QFETCH(QByteArray, content);
    QFETCH(int, count);

    const QString path = m_dir.filePath(u"sequence.csv"_qs);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();

    TrialTable trials = sentinelTable();
    QCOMPARE(kivora::loadPlanFile(path, trials), qint16(count));
    QCOMPARE(trials[0], sentinel);
    if (count > 0)
        QCOMPARE(trials[count], balancedTrial(count - 1));
}

void tst_RunPlan::loadPlanFileRefused_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("content"); // written to path first unless null
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("message");

    const QString missing = m_dir.filePath(u"missing.csv"_qs);
    QTest::newRow("missing file") << missing << QByteArray() << int(ErrFileNotFound) << 0
                                  << u"ファイルがありません"_qs;
    QTest::newRow("missing folder") << m_dir.filePath(u"no-such-folder/sequence.csv"_qs) << QByteArray()
                                    << int(ErrPathNotFound) << 0 << u"ファイルのあるフォルダがありません"_qs;
    QTest::newRow("a folder") << m_dir.path() << QByteArray() << int(kivora::ErrPathFileAccess) << 0
                              << u"ファイルではなくフォルダです"_qs;
    QTest::newRow("refused content names the path as given")
        << m_dir.filePath(u"bad.csv"_qs) << QByteArray("1,0,3,0,800\r\n1,0,7,0,800\r\n")
        << int(ErrInvalidProperty) << 2 << u"CueDir の値 7 は使えません（0〜5 の整数）"_qs;
    QTest::newRow("percent signs in the name")
        << m_dir.filePath(u"plan%2%1.csv"_qs) << QByteArray("1,0,3,0,0") << int(ErrInvalidProperty) << 1
        << u"PresentTime の値 0 は使えません（1〜32767 の整数）"_qs;
    QTest::newRow("percent signs in a missing name")
        << m_dir.filePath(u"%1%2.csv"_qs) << QByteArray() << int(ErrFileNotFound) << 0
        << u"ファイルがありません"_qs;
}

void tst_RunPlan::loadPlanFileRefused() {
    QFETCH(QString, path);
    QFETCH(QByteArray, content);
    QFETCH(int, number);
    QFETCH(int, line);
    QFETCH(QString, message);

    if (!content.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
    TrialTable trials = sentinelTable();
    try {
        kivora::loadPlanFile(path, trials);
        QFAIL("accepted");
    } catch (const PlanError &e) {
        QCOMPARE(e.number(), number);
        QCOMPARE(e.line(), line);
        QCOMPARE(e.file(), path);
        QCOMPARE(e.message(), message);
        QCOMPARE(e.detail(),
                 path + u':' + (line > 0 ? QString::number(line) + u':' : QString()) + u' ' + message);
    }
    QCOMPARE(trials[0], sentinel);
}

void tst_RunPlan::loadPlanFileUnreadable() {
    const QString path = m_dir.filePath(u"locked.csv"_qs);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("1,0,3,0,800\r\n");
        QVERIFY(file.setPermissions(QFileDevice::WriteOwner));
    }
    QFile probe(path);
    if (probe.open(QIODevice::ReadOnly))
        QSKIP("this user reads files without read permission (root)");

    TrialTable trials;
    try {
        kivora::loadPlanFile(path, trials);
        QFAIL("accepted");
    } catch (const PlanError &e) {
        QCOMPARE(e.number(), int(ErrPermissionDenied));
        QCOMPARE(e.line(), 0);
        QCOMPARE(e.message(), u"読み取りの権限がありません"_qs);
    }
}

void tst_RunPlan::summary_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("summary");

    QTest::newRow("no trials") << corpusFile(u"empty.csv"_qs)
                               << u"trials: 0\n"
                                  u"present times (ms):\n"
                                  u"FigSet 1-4: 0 0 0 0\n"
                                  u"CueDir 0-5: 0 0 0 0 0 0\n"
                                  u"Mirror 0-1: 0 0\n"_qs;
    QTest::newRow("times in order of first appearance")
        << QByteArray("2,0,5,1,800\n2,1,5,0,400\n4,2,0,1,800\n1,3,1,1,1200\n")
        << u"trials: 4\n"
           u"present times (ms): 800 400 1200\n"
           u"FigSet 1-4: 1 2 0 1\n"
           u"CueDir 0-5: 1 1 0 0 0 2\n"
           u"Mirror 0-1: 1 3\n"_qs;
    QTest::newRow("balanced 144") << balancedPlan(144)
                                  << u"trials: 144\n"
                                     u"present times (ms): 400 800 1200\n"
                                     u"FigSet 1-4: 36 36 36 36\n"
                                     u"CueDir 0-5: 24 24 24 24 24 24\n"
                                     u"Mirror 0-1: 72 72\n"_qs;
}

void tst_RunPlan::summary() {
    QFETCH(QByteArray, content);
    QFETCH(QString, summary);

    TrialTable trials;
    const qint16 count = readPlan(content, u"plan.csv"_qs, trials);
    QCOMPARE(planSummary(trials, count), summary);
}

void tst_RunPlan::tableBounds_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("ok");
    QTest::newRow("-1") << -1 << false;
    QTest::newRow("0") << 0 << true;
    QTest::newRow("144") << 144 << true;
    QTest::newRow("145") << 145 << false;
    QTest::newRow("32767") << 32767 << false;
}

void tst_RunPlan::tableBounds() {
    QFETCH(int, index);
    QFETCH(bool, ok);
    TrialTable t;
    try {
        t[index].FigSet = 3;
        QVERIFY(ok);
        QCOMPARE(t[index].FigSet, qint16(3));
    } catch (const RuntimeError &e) {
        QVERIFY(!ok);
        QCOMPARE(e.number(), int(ErrSubscript));
    }
}

void tst_RunPlan::trialRecordLayout() {
    QCOMPARE(sizeof(TrialRec), std::size_t(16));
    QCOMPARE(TrialTable::size(), 145);
}

QTEST_GUILESS_MAIN(tst_RunPlan)
#include "tst_run_plan.moc"
