// --shuffle on the real main window: each run takes the plan's trials in a new order and records
// the seed.
#include "base/Fonts.h"
#include "results/SessionData.h"
#include "support/RunRecorder.h"
#include "support/SessionDriver.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>

using namespace session;
using kivora::TrialRec;

namespace {


// The five plan fields, for comparing orders.
QList<QList<int>> planOf(int count) {
    QList<QList<int>> out;
    for (int i = 1; i <= count; ++i) {
        const TrialRec &t = basTime::Trials[i];
        out << QList<int>{t.FigSet, t.StartDir, t.CueDir, t.Mirror, t.PresentTime};
    }
    return out;
}

QList<QList<int>> sorted(QList<QList<int>> trials) {
    std::sort(trials.begin(), trials.end());
    return trials;
}

} // namespace

class tst_main_shuffle : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        quietOffscreenNoise();
        kivora::installFontSubstitutes();
        QVERIFY(m_tmp.isValid());
        QVERIFY(writeFile(m_tmp.filePath(u"twelve.csv"_qs), twelveTrialPlan()));
    }
    void eachRunInItsOwnOrder();

private:
    QTemporaryDir m_tmp;
    FakeTime m_time;
};

// Two runs with seeds 11 and 12: each a reordering of the same twelve trials, different from
// the plan and from each other; the answered rows on disk follow the run's order and carry its
// seed; the recorders hear the seed before the run starts.
void tst_main_shuffle::eachRunInItsOwnOrder() {
    basTime::reset();
    frmMain w(m_time);
    w.setPlanFile(m_tmp.filePath(u"twelve.csv"_qs));
    QList<quint64> seeds{11, 12};
    w.shuffleEachRun([&seeds] { return seeds.takeFirst(); });
    const QString folder = m_tmp.filePath(u"data"_qs);
    kivora::SessionData::checkFolder(folder);
    kivora::SessionData data(folder);
    RunRecorder recorder;
    w.addObserver(&data);
    w.addObserver(&recorder);
    w.Form_Load();
    const QList<QList<int>> plan = planOf(PlanTrials);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));

    QList<QList<QList<int>>> orders;
    for (const QString &name : {u"一"_qs, u"二"_qs}) {
        startRun(w, name);
        if (QTest::currentTestFailed())
            return;
        const QList<QList<int>> order = planOf(PlanTrials);
        QCOMPARE(sorted(order), sorted(plan));
        QVERIFY(order != plan);
        QVERIFY(!orders.contains(order));
        orders << order;
        for (int t = 1; t <= 3; ++t)
            answerTrial(m_time, w, t);
        QTest::mouseClick(w.btnStop, Qt::LeftButton);

        const QList<QByteArray> rows = readFile(data.currentFile()).split('\n');
        QCOMPARE(rows.size(), 1 + 3 + 1);
        const QList<QByteArray> header = rows[0].trimmed().split(',');
        const qsizetype seedColumn = header.indexOf("order_seed");
        for (int t = 1; t <= 3; ++t) {
            const QList<QByteArray> cells = rows[t].trimmed().split(',');
            QCOMPARE(cells.size(), header.size());
            QList<int> fields;
            for (int c = 3; c <= 7; ++c)
                fields << cells[c].toInt();
            QCOMPARE(fields, order[t - 1]);
            QCOMPARE(cells[seedColumn], QByteArray::number(orders.size() == 1 ? 11 : 12));
        }
    }
    const QStringList starts = recorder.events.filter(QRegularExpression(u"^(order|run_start):"_qs));
    QCOMPARE(starts, (QStringList{u"order:11"_qs, u"run_start:一"_qs, u"order:12"_qs, u"run_start:二"_qs}));
}

QTEST_MAIN(tst_main_shuffle)
#include "tst_main_shuffle.moc"
