// The figures of the display check from a run of onsets: flips at their planned refresh or not,
// late ones, the fitted refresh period and the jitter about it.
#include "session/FlipFigures.h"

#include <QTest>
#include <cmath>

using kivora::Onset;

namespace {
constexpr int Frames = 6;
constexpr qint64 PeriodUs = 16'667;

// Ten flips Frames refreshes apart from refresh 100; offsetsUs moves some onsets off the grid,
// missed[i] makes flip i come that many refreshes late.
std::vector<Onset> flips(const QList<qint64> &offsetsUs = {}, const QList<int> &missed = {}) {
    std::vector<Onset> out;
    qint64 msc = 100;
    for (int i = 0; i < 10; ++i) {
        const qint64 target = i == 0 ? -1 : msc + Frames;
        msc = i == 0 ? msc : target + missed.value(i, 0);
        out.push_back({msc * PeriodUs + offsetsUs.value(i, 0), msc, target});
    }
    return out;
}
} // namespace

class tst_flipfigures : public QObject {
    Q_OBJECT
private slots:
    void figures_data();
    void figures();
    void withoutRefreshCounts();
};

void tst_flipfigures::figures_data() {
    QTest::addColumn<QList<qint64>>("offsetsUs");
    QTest::addColumn<QList<int>>("missed");
    QTest::addColumn<int>("late");
    QTest::addColumn<bool>("exact");
    QTest::addColumn<double>("jitterAbove"); // the jitter is above this and below twice it (0: zero)
    QTest::newRow("every flip on its refresh") << QList<qint64>{} << QList<int>{} << 0 << true << 0.0;
    QTest::newRow("onsets 300 us either side of the grid")
        << QList<qint64>{300, -300, 300, -300, 300, -300, 300, -300, 300, -300} << QList<int>{} << 0 << true
        << 200.0;
    QTest::newRow("one flip a refresh late")
        << QList<qint64>{} << QList<int>{0, 0, 0, 1} << 1 << false << 0.0;
}

void tst_flipfigures::figures() {
    QFETCH(QList<qint64>, offsetsUs);
    QFETCH(QList<int>, missed);
    QFETCH(int, late);
    QFETCH(bool, exact);
    QFETCH(double, jitterAbove);
    const kivora::FlipFigures f = kivora::flipFigures(flips(offsetsUs, missed), Frames);
    QCOMPARE(f.flips, 10);
    QVERIFY(f.counted);
    QCOMPARE(f.late, late);
    QCOMPARE(f.miscounted, late); // a late flip stays a refresh longer than planned
    QCOMPARE(f.exact(), exact);
    QVERIFY2(std::abs(f.periodUs - double(PeriodUs)) < 50, qPrintable(QString::number(f.periodUs)));
    if (jitterAbove == 0)
        QVERIFY2(f.jitterUs < 1, qPrintable(QString::number(f.jitterUs)));
    else
        QVERIFY2(f.jitterUs > jitterAbove && f.jitterUs < 2 * jitterAbove,
                 qPrintable(QString::number(f.jitterUs)));
}

void tst_flipfigures::withoutRefreshCounts() {
    std::vector<Onset> onsets = flips();
    for (Onset &o : onsets)
        o = Onset{o.us};
    const kivora::FlipFigures f = kivora::flipFigures(onsets, 0);
    QVERIFY(!f.counted);
    QVERIFY(std::isnan(f.periodUs));
    QVERIFY(!f.exact());
}

QTEST_GUILESS_MAIN(tst_flipfigures)
#include "tst_flipfigures.moc"
