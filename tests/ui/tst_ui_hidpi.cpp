// On a scaled screen (here 200 %) every stimulus pixel must still land on exactly one screen
// pixel: no smoothing, no stretching, nothing grey.
#include "ui/PictureBox.h"
#include "ui/frmMain.h"
#include "base/Fonts.h"
#include "support/FakeTime.h"
#include "support/PixelProbe.h"

#include <QApplication>
#include <QTest>

class tst_ui_hidpi : public QObject {
    Q_OBJECT
private slots:
    void pictureStaysPixelForPixel_data();
    void pictureStaysPixelForPixel();
};

void tst_ui_hidpi::pictureStaysPixelForPixel_data() {
    QTest::addColumn<int>("list");
    QTest::addColumn<int>("position");
    QTest::newRow("F turned 60") << 1 << 2;
    QTest::newRow("R mirrored 240") << 4 << 11;
    QTest::newRow("arrow 120") << 0 << 3;
}

void tst_ui_hidpi::pictureStaysPixelForPixel() {
    QFETCH(int, list);
    QFETCH(int, position);
    FakeTime time;
    frmMain w(time);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.devicePixelRatioF(), 2.0);
    const QImage &pic = w.ImageList[list].ListImages(position);
    w.Image1->setPicture(&pic);
    const QImage shot = probe::screenshot(*w.Image1); // in device pixels
    QCOMPARE(shot.size(), 2 * w.Image1->size());      // the control keeps its size, scaled by 200 %
    // The picture sits centred inside the border, at whole device pixels.
    const QRect inside =
        shot.rect().adjusted(2 * kivora::PictureBox::BorderPx, 2 * kivora::PictureBox::BorderPx,
                             -2 * kivora::PictureBox::BorderPx, -2 * kivora::PictureBox::BorderPx);
    QRect placed(QPoint(), pic.size());
    placed.moveCenter(inside.center());
    QCOMPARE(shot.copy(placed), pic.convertToFormat(QImage::Format_RGB32));
}

int main(int argc, char **argv) {
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    kivora::installFontSubstitutes();
    tst_ui_hidpi test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_ui_hidpi.moc"
