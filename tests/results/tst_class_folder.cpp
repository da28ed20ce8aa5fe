// A class's data folder followed as it is written: each rescan reads again only the files that
// changed, and keeps what it read while the folder is out of reach.
#include "results/ClassFolder.h"
#include "support/ClassRuns.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

namespace {

// What happens to the folder (holding run 2 while it is written) between two rescans.
using Change = std::function<void(const QString &folder, classruns::Run &being, kivora::ClassFolder &)>;

// The rows of the state as "number:trials", "c" for a complete run; "unreachable" first while the
// folder is.
QString rowsOf(const kivora::ClassState &state) {
    QStringList out;
    if (state.unreachableSince)
        out << u"unreachable"_qs;
    for (const kivora::ClassRow &row : state.rows) {
        const kivora::RunFile &run = state.report.runs[std::size_t(row.run)].file;
        out << u"%1:%2%3"_qs.arg(row.number).arg(run.trials.size()).arg(run.complete ? u"c"_qs : QString());
    }
    return out.join(u' ');
}

QDateTime at(int minute) {
    return QDateTime(QDate(2026, 12, 8), QTime(9, minute));
}

void rename(const QString &from, const QString &to) {
    QVERIFY(QDir().rename(from, to));
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
    QTest::newRow("nothing changed") << Change([](auto &, auto &, auto &) {}) << 0 << false << before;
    QTest::newRow("an answer more") << Change([](auto &, auto &being, auto &) { being.answer(1); }) << 1
                                    << true << u"1:12c 2:6 3:12c"_qs;
    QTest::newRow("a run completed") << Change([](auto &, auto &being, auto &) { being.complete(); }) << 1
                                     << true << u"1:12c 2:12c 3:12c"_qs;
    QTest::newRow("a run arrives, named before the others")
        << Change([](auto &folder, auto &, auto &) { classruns::Run(folder, u"D"_qs, at(0)).answer(3); }) << 1
        << true << before + u" 4:3"_qs;
    QTest::newRow("a run goes") << Change([](const QString &folder, auto &, auto &) {
        for (const QString &name : QDir(folder).entryList({u"*_C*"_qs}, QDir::Files))
            QDir(folder).remove(name);
    }) << 0 << true << u"1:12c 2:5"_qs;
    QTest::newRow("the folder renamed away")
        << Change([](auto &folder, auto &, auto &) { rename(folder, folder + u"-away"_qs); }) << 0 << true
        << u"unreachable "_qs + before;
    QTest::newRow("the folder renamed away and back") << Change([](auto &folder, auto &, auto &watched) {
        rename(folder, folder + u"-away"_qs);
        QVERIFY(watched.rescan());
        rename(folder + u"-away"_qs, folder);
    }) << 0 << true << before;
}

void tst_class_folder::rereadsChangedFilesOnly() {
    QFETCH(Change, change);
    QTemporaryDir parent;
    const QString folder = parent.filePath(u"data"_qs);
    QVERIFY(QDir().mkpath(folder));
    classruns::Run(folder, u"A"_qs, at(1)).complete();
    classruns::Run being(folder, u"B"_qs, at(2));
    being.answer(5);
    classruns::Run(folder, u"C"_qs, at(3)).complete();
    const QDateTime now = QDateTime::currentDateTime();
    kivora::ClassFolder watched(folder, {}, [now] { return now; });
    QVERIFY(watched.rescan());
    QCOMPARE(watched.reads(), 3);

    change(folder, being, watched);
    QTEST(watched.rescan(), "changed");
    QTEST(watched.reads() - 3, "reads");
    QTEST(rowsOf(watched.state()), "rows");
}

QTEST_GUILESS_MAIN(tst_class_folder)
#include "tst_class_folder.moc"
