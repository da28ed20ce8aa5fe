// The class view over a folder that changes, on the offscreen platform, its rescans asked for by
// the test and its clock a fake one.
#include "charts/ChartControl.h"
#include "charts/ReportCharts.h"
#include "results/RunFiles.h"
#include "support/ClassRuns.h"
#include "support/Files.h"
#include "support/SheetGrid.h"
#include "ui/ClassFolderWatch.h"
#include "ui/ClassView.h"

#include <QCheckBox>
#include <QLabel>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>

namespace {

QDateTime at(int minute) {
    return QDateTime(QDate(2026, 12, 8), QTime(10, minute));
}

// The view's group chart against the one report.pdf draws from the same folder.
QStringList sheets(kivora::ChartControl &chart) {
    return sheet::gridOf(chart.Datasheet(), 5, 5) + sheet::gridOf(chart.ErrorSheet(), 5, 5);
}
QStringList reportSheets(const QString &folder) {
    kivora::ChartControl chart;
    kivora::drawGroupChart(chart, kivora::makeReport(folder, kivora::readRunFolder(folder), {}));
    return sheets(chart);
}

} // namespace

class tst_classview : public QObject {
    Q_OBJECT
private slots:
    void followsAFolderThatChanges();
};

void tst_classview::followsAFolderThatChanges() {
    QTemporaryDir parent;
    const QString folder = parent.filePath(u"class"_qs);
    QVERIFY(QDir().mkpath(folder));
    std::atomic<qint64> nowMs = QDateTime::currentMSecsSinceEpoch();
    kivora::ClassFolderWatch watch(
        std::make_unique<kivora::ClassFolder>(folder, kivora::RtLimits{},
                                              [&nowMs] { return QDateTime::fromMSecsSinceEpoch(nowMs); }),
        3'600'000); // the test asks for every rescan
    kivora::ClassView view(watch);
    auto *table = view.findChild<QTableWidget *>(u"runs"_qs);
    // The chart of the state shown (each state has one of its own).
    const auto chart = [&view] { return sheets(*view.findChild<kivora::ChartControl *>(u"groupChart"_qs)); };
    auto *unreachable = view.findChild<QLabel *>(u"unreachable"_qs);
    auto *showNames = view.findChild<QCheckBox *>(u"showNames"_qs);
    QVERIFY(table && unreachable && showNames);
    view.show();
    watch.start();
    const auto cell = [table](int row, int c) {
        return table->item(row, c) ? table->item(row, c)->text() : QString();
    };
    // The state is the last column, after those of the presentation times.
    const auto state = [&cell, table](int row) { return cell(row, table->columnCount() - 1); };

    QTRY_COMPARE(view.windowTitle(), u"Kivora クラス表示 — 完了 0、未完了 0"_qs);

    // Three complete runs: the group chart is the report's, the participants are numbers.
    const QStringList names{u"佐藤 花子"_qs, u"鈴木 一郎"_qs, u"高橋 三郎"_qs};
    for (int i = 0; i < names.size(); ++i)
        classruns::Run(folder, names[i], at(i)).complete();
    watch.scanNow();
    QTRY_COMPARE(view.windowTitle(), u"Kivora クラス表示 — 完了 3、未完了 0"_qs);
    QCOMPARE(chart(), reportSheets(folder));
    QVERIFY2(!cell(0, 1).contains(names[0]), qPrintable(cell(0, 1)));
    showNames->click();
    QCOMPARE(QStringList({cell(0, 1), cell(1, 1), cell(2, 1)}), names);

    // A run being written, its last row half there: its whole rows count, and it is written to
    // until a minute has passed without a change.
    classruns::Run being(folder, u"田中"_qs, at(3));
    being.answer(4);
    QFile file(being.file());
    QVERIFY(file.open(QIODevice::Append) && file.write("\xE7\x94\xB0\xE4\xB8\xAD,2026-12-08T10:03") > 0);
    file.close();
    watch.scanNow();
    QTRY_COMPARE(view.windowTitle(), u"Kivora クラス表示 — 完了 3、未完了 1"_qs);
    QCOMPARE(cell(3, 2), u"4"_qs);
    const QString writing = state(3);
    nowMs += (kivora::WritingSeconds + 1) * 1000;
    watch.scanNow();
    QTRY_VERIFY(state(3) != writing);

    // A .csv that is no data file: counted apart, with the reader's reason.
    const QByteArray malformed = "subject,trial\r\nx,1\r\n";
    QVERIFY(files::writeFile(QDir(folder).filePath(u"notes.csv"_qs), malformed));
    watch.scanNow();
    QTRY_COMPARE(view.windowTitle(), u"Kivora クラス表示 — 完了 3、未完了 1、読めないファイル 1"_qs);
    const auto read = kivora::readRunFile(malformed, u"notes.csv"_qs);
    QVERIFY(state(4).contains(std::get<kivora::SkippedFile>(read).reason));

    // The folder goes away: what was shown stays, saying since when.
    const QStringList shown = chart();
    QVERIFY(QDir().rename(folder, parent.filePath(u"away"_qs)));
    watch.scanNow();
    QTRY_VERIFY(unreachable->isVisible());
    QVERIFY(unreachable->text().contains(QDateTime::fromMSecsSinceEpoch(nowMs).toString(u"HH:mm:ss"_qs)));
    QCOMPARE(table->rowCount(), 5);
    QCOMPARE(chart(), shown);

    // The texts grow with the window: on a 1920 × 1080 projector the table's are 20 px or more.
    view.resize(960, 540);
    const int small = QFontInfo(table->font()).pixelSize();
    view.resize(1920, 1080);
    QVERIFY2(QFontInfo(table->font()).pixelSize() >= 20,
             qPrintable(QString::number(QFontInfo(table->font()).pixelSize())));
    QVERIFY(QFontInfo(table->font()).pixelSize() > small);
    QVERIFY(watch.stop(10'000));
}

QTEST_MAIN(tst_classview)
#include "tst_classview.moc"
