// The print-queue watch on Windows: the print engine's word on EndPage and EndDoc, which it
// gives only as a warning, is the refusal; every other message goes on to where it went.
#include "platform/PrintQueue.h"

#include <QTest>

using kivora::PrintQueueWatch;

class tst_printqueue : public QObject {
    Q_OBJECT
private slots:
    void refusal_data();
    void refusal();
    void othersPassOnAndTheWatchEnds();
};

namespace {
QStringList s_passed;
void keep(QtMsgType, const QMessageLogContext &, const QString &message) {
    s_passed << message;
}
} // namespace

void tst_printqueue::refusal_data() {
    QTest::addColumn<QStringList>("warnings");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("taken") << QStringList{} << QString();
    QTest::newRow("EndDoc refused")
        << QStringList{u"QWin32PrintEngine::end: EndDoc failed (The spooler is not running.)"_qs}
        << u"EndDoc failed (The spooler is not running.)"_qs;
    QTest::newRow("EndPage and EndDoc refused")
        << QStringList{u"QWin32PrintEngine::end: EndPage failed (0000000001)"_qs,
                       u"QWin32PrintEngine::end: EndDoc failed"_qs}
        << u"EndPage failed (0000000001); EndDoc failed"_qs;
    QTest::newRow("another engine warning")
        << QStringList{u"QWin32PrintEngine::begin: StartDoc failed"_qs} << QString();
}

void tst_printqueue::refusal() {
    QFETCH(QStringList, warnings);
    QFETCH(QString, refusal);
    const QtMessageHandler before = qInstallMessageHandler(keep);
    {
        const PrintQueueWatch watch;
        for (const QString &w : warnings)
            qWarning("%s", qPrintable(w));
        QCOMPARE(watch.refusal(), refusal);
    }
    qInstallMessageHandler(before);
}

void tst_printqueue::othersPassOnAndTheWatchEnds() {
    s_passed.clear();
    const QtMessageHandler before = qInstallMessageHandler(keep);
    {
        const PrintQueueWatch watch;
        qWarning("unrelated");
        qWarning("QWin32PrintEngine::end: EndDoc failed");
    }
    qWarning("QWin32PrintEngine::end: EndDoc failed"); // after the watch: an ordinary warning
    qInstallMessageHandler(before);
    QCOMPARE(s_passed, (QStringList{u"unrelated"_qs, u"QWin32PrintEngine::end: EndDoc failed"_qs}));
}

QTEST_GUILESS_MAIN(tst_printqueue)
#include "tst_printqueue.moc"
