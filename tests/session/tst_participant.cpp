// Participant codes: the rule a code keeps, and the fresh codes offered.
#include "session/Participant.h"

#include <QSet>
#include <QTest>

class tst_participant : public QObject {
    Q_OBJECT
private slots:
    void codeRule_data();
    void codeRule();
    void freshCodeNotOneTaken();
};

void tst_participant::codeRule_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("an offered code") << u"P004217"_qs << true;
    QTest::newRow("one character") << u"7"_qs << true;
    QTest::newRow("hyphen and underscore inside") << u"lab-2_s07"_qs << true;
    QTest::newRow("32 characters") << QString(32, u'a') << true;
    QTest::newRow("a device name, written with _ after it in file names") << u"CON"_qs << true;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("a blank") << u"P 12"_qs << false;
    QTest::newRow("a slash") << u"lab/7"_qs << false;
    QTest::newRow("Japanese") << u"山田"_qs << false;
    QTest::newRow("full-width digits") << u"１２３"_qs << false;
    QTest::newRow("a leading hyphen") << u"-12"_qs << false;
    QTest::newRow("a leading underscore") << u"_12"_qs << false;
    QTest::newRow("33 characters") << QString(33, u'a') << false;
    QTest::newRow("a line end") << u"P1\n"_qs << false;
}

void tst_participant::codeRule() {
    QFETCH(QString, code);
    QTEST(kivora::isParticipantCode(code), "accepted");
}

// "P" and six digits, none that the data folder has files of: a taken one is passed over.
void tst_participant::freshCodeNotOneTaken() {
    const QList<quint32> draws{4217, 1'004'217, 99};
    int drawn = 0;
    const QSet<QString> taken{u"P004217"_qs};
    const QString code = kivora::freshParticipantCode([&] { return draws[drawn++]; },
                                                      [&](const QString &c) { return taken.contains(c); });
    QCOMPARE(code, u"P000099"_qs);
    QCOMPARE(drawn, 3);
    QVERIFY(kivora::isParticipantCode(code));
}

QTEST_GUILESS_MAIN(tst_participant)
#include "tst_participant.moc"
