// A class's data folder followed as it is written: each rescan reads again only the files that
// changed, and keeps what it read while the folder is out of reach.
#include "results/ClassFolder.h"
#include "support/ClassRuns.h"
#include "support/Files.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {

enum class Change {
    Nothing,
    AnswerMore,
    RowHalfWritten,
    RunCompleted,
    MeansFileAlone,
    RunArrives,
    RunGoes,
    NotADataFile,
    NotCsv,
    FolderAway,
    FolderAwayAndBack,
};

// The rows of the state as "number:trials", with "c" for a complete run, "x" for a file that
// cannot be read; "unreachable" first while the folder is.
QString rowsOf(const kivora::ClassState &state) {
    QStringList out;
    if (state.unreachableSince)
        out << u"unreachable"_qs;
    for (const kivora::ClassRow &row : state.rows) {
        if (row.run < 0) {
            out << u"%1:x"_qs.arg(row.number);
            continue;
        }
        const kivora::RunFile &run = state.report.runs[std::size_t(row.run)].file;
        out << u"%1:%2%3"_qs.arg(row.number).arg(run.trials.size()).arg(run.complete ? u"c"_qs : QString());
    }
    return out.join(u' ');
}

QDateTime at(int minute) {
    return QDateTime(QDate(2026, 12, 8), QTime(9, minute));
}

} // namespace

Q_DECLARE_METATYPE(Change)

class tst_class_folder : public QObject {
    Q_OBJECT
private slots:
    void rereadsChangedFilesOnly_data();
    void rereadsChangedFilesOnly();
};

void tst_class_folder::rereadsChangedFilesOnly_data() {
    QTest::addColumn<Change>("change");
    QTest::addColumn<int>("reads"); // files read by the rescan after the change
    QTest::addColumn<bool>("changed");
    QTest::addColumn<QString>("rows");
    // Before each change: run 1 and 3 complete, run 2 with five answers.
    const QString before = u"1:12c 2:5 3:12c"_qs;
    QTest::newRow("nothing changed") << Change::Nothing << 0 << false << before;
    QTest::newRow("an answer more") << Change::AnswerMore << 1 << true << u"1:12c 2:6 3:12c"_qs;
    QTest::newRow("a row half written") << Change::RowHalfWritten << 1 << true << before;
    QTest::newRow("a run completed") << Change::RunCompleted << 1 << true << u"1:12c 2:12c 3:12c"_qs;
    QTest::newRow("a means file alone") << Change::MeansFileAlone << 0 << true << u"1:12c 2:5c 3:12c"_qs;
    QTest::newRow("a run arrives, named before the others")
        << Change::RunArrives << 1 << true << u"1:12c 2:5 3:12c 4:3"_qs;
    QTest::newRow("a run goes") << Change::RunGoes << 0 << true << u"1:12c 2:5"_qs;
    QTest::newRow("a .csv that is no data file") << Change::NotADataFile << 1 << true << before + u" 4:x"_qs;
    QTest::newRow("a file not named .csv") << Change::NotCsv << 0 << false << before;
    QTest::newRow("the folder renamed away")
        << Change::FolderAway << 0 << true << u"unreachable "_qs + before;
    QTest::newRow("the folder renamed away and back") << Change::FolderAwayAndBack << 0 << true << before;
}

void tst_class_folder::rereadsChangedFilesOnly() {
    QFETCH(Change, change);
    QTemporaryDir parent;
    const QString folder = parent.filePath(u"data"_qs);
    const QString away = parent.filePath(u"away"_qs);
    QVERIFY(QDir().mkpath(folder));
    classruns::Run(folder, u"A"_qs, at(1)).complete();
    classruns::Run being(folder, u"B"_qs, at(2));
    being.answer(5);
    classruns::Run(folder, u"C"_qs, at(3)).complete();
    const QDateTime now = QDateTime::currentDateTime();
    kivora::ClassFolder watched(folder, {}, [now] { return now; });
    QVERIFY(watched.rescan());
    QCOMPARE(watched.reads(), 3);

    switch (change) {
    case Change::Nothing:
        break;
    case Change::AnswerMore:
        being.answer(1);
        break;
    case Change::RowHalfWritten: {
        QFile file(being.file());
        QVERIFY(file.open(QIODevice::Append) && file.write("B,2026-12-08T09:02:00") > 0);
        break;
    }
    case Change::RunCompleted:
        being.complete();
        break;
    case Change::MeansFileAlone:
        QVERIFY(files::writeFile(kivora::meansFileOf(being.file()), "PresentTime\r\n"));
        break;
    case Change::RunArrives:
        classruns::Run(folder, u"D"_qs, at(0)).answer(3);
        break;
    case Change::RunGoes:
        for (const QString &name : QDir(folder).entryList({u"*_C*"_qs}, QDir::Files))
            QVERIFY(QDir(folder).remove(name));
        break;
    case Change::NotADataFile:
        QVERIFY(files::writeFile(QDir(folder).filePath(u"notes.csv"_qs), "a,b\r\n1,2\r\n"));
        break;
    case Change::NotCsv:
        QVERIFY(files::writeFile(QDir(folder).filePath(u"notes.txt"_qs), "hello"));
        break;
    case Change::FolderAway:
    case Change::FolderAwayAndBack:
        QVERIFY(QDir().rename(folder, away));
        if (change == Change::FolderAwayAndBack) {
            QVERIFY(watched.rescan());
            QVERIFY(QDir().rename(away, folder));
        }
        break;
    }
    QTEST(watched.rescan(), "changed");
    QTEST(watched.reads() - 3, "reads");
    QTEST(rowsOf(watched.state()), "rows");
}

QTEST_GUILESS_MAIN(tst_class_folder)
#include "tst_class_folder.moc"
