#include "base/Fonts.h"
#include "stimuli/BmpFile.h"
#include "stimuli/PictureStore.h"
#include "stimuli/StimulusDrawing.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <memory>

using namespace kivora;

namespace {

quint32 field(const QByteArray &bytes, int offset, int size) {
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData() + offset);
    return size == 2 ? qFromLittleEndian<quint16>(p) : qFromLittleEndian<quint32>(p);
}

// The bit of pixel (x, y) in a 256-wide 1-bit bitmap: rows of 32 bytes from offset 62, the
// picture's bottom row first, the leftmost pixel in a byte's top bit.
bool bitAt(const QByteArray &bmp, int x, int y) {
    const int row = 255 - y;
    const auto byte = static_cast<uchar>(bmp[62 + row * 32 + x / 8]);
    return (byte >> (7 - x % 8)) & 1;
}

} // namespace

class tst_stimuli_bmp : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void headerFields_data();
    void headerFields();
    void knownPixels_data();
    void knownPixels();
    void everyBitMatchesThePicture();
    void qtReadsItBack();
    void otherFormatsGiveTheSameBytes_data();
    void otherFormatsGiveTheSameBytes();
    void rowsArePadded();
    void exportWritesAll56();
    void exportFails_data();
    void exportFails();

private:
    std::unique_ptr<PictureStore> m_store;
};

void tst_stimuli_bmp::initTestCase() {
    installFontSubstitutes();
    m_store = std::make_unique<PictureStore>();
}

void tst_stimuli_bmp::headerFields_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("size");
    QTest::addColumn<quint32>("value");
    QTest::newRow("signature BM") << 0 << 2 << quint32('B' | 'M' << 8);
    QTest::newRow("file size") << 2 << 4 << 8254u;
    QTest::newRow("reserved") << 6 << 4 << 0u;
    QTest::newRow("pixel offset") << 10 << 4 << 62u;
    QTest::newRow("info header size") << 14 << 4 << 40u;
    QTest::newRow("width") << 18 << 4 << 256u;
    QTest::newRow("height, positive: bottom-up") << 22 << 4 << 256u;
    QTest::newRow("planes") << 26 << 2 << 1u;
    QTest::newRow("bits per pixel") << 28 << 2 << 1u;
    QTest::newRow("compression BI_RGB") << 30 << 4 << 0u;
    QTest::newRow("image size") << 34 << 4 << 8192u;
    QTest::newRow("x pixels per metre") << 38 << 4 << 3780u;
    QTest::newRow("y pixels per metre") << 42 << 4 << 3780u;
    QTest::newRow("colours used") << 46 << 4 << 2u;
    QTest::newRow("important colours") << 50 << 4 << 0u;
    QTest::newRow("palette 0: black") << 54 << 4 << 0x00000000u;
    QTest::newRow("palette 1: white") << 58 << 4 << 0x00ffffffu;
}

void tst_stimuli_bmp::headerFields() {
    QFETCH(int, offset);
    QFETCH(int, size);
    QFETCH(quint32, value);
    for (const auto &[list, position] :
         {std::pair{0, 1}, std::pair{0, 7}, std::pair{1, 1}, std::pair{4, 12}}) {
        const QByteArray bmp = encodeBmp((*m_store)[list].ListImages(position));
        QCOMPARE(bmp.size(), 8254);
        QCOMPARE(field(bmp, offset, size), value);
    }
}

void tst_stimuli_bmp::knownPixels_data() {
    QTest::addColumn<int>("list");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<bool>("white");
    QTest::newRow("arrow tip") << 0 << 1 << 128 << 20 << false;
    QTest::newRow("above the tip") << 0 << 1 << 128 << 19 << true;
    QTest::newRow("arrow tail, left") << 0 << 1 << 124 << 236 << false;
    QTest::newRow("below the tail") << 0 << 1 << 124 << 237 << true;
    QTest::newRow("top-left corner") << 1 << 1 << 0 << 0 << true;
    QTest::newRow("circle, top") << 1 << 1 << 127 << 1 << false;
    QTest::newRow("circle, bottom") << 1 << 1 << 128 << 254 << false;
    QTest::newRow("circle, left") << 1 << 1 << 1 << 127 << false;
    QTest::newRow("circle, right") << 1 << 1 << 254 << 128 << false;
    QTest::newRow("F stem contour") << 1 << 1 << 63 << 180 << false;
    QTest::newRow("F stem inside") << 1 << 1 << 70 << 180 << true;
    QTest::newRow("mirrored F stem contour") << 1 << 7 << 192 << 180 << false;
}

void tst_stimuli_bmp::knownPixels() {
    QFETCH(int, list);
    QFETCH(int, position);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(bool, white);
    const QImage &img = (*m_store)[list].ListImages(position);
    QCOMPARE(img.pixel(x, y) == 0xffffffff, white);
    QCOMPARE(bitAt(encodeBmp(img), x, y), white);
}

void tst_stimuli_bmp::everyBitMatchesThePicture() {
    // A picture that is not symmetric top to bottom, so that rows in the wrong order show.
    const QImage &img = (*m_store)[2].ListImages(2);
    const QByteArray bmp = encodeBmp(img);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            QVERIFY2(bitAt(bmp, x, y) == (img.pixel(x, y) == 0xffffffff),
                     qPrintable(u"%1,%2"_qs.arg(x).arg(y)));
}

void tst_stimuli_bmp::qtReadsItBack() {
    for (int position = 1; position <= 8; ++position) {
        const QImage &img = (*m_store)[0].ListImages(position);
        const QImage read = QImage::fromData(encodeBmp(img), "BMP");
        QVERIFY(!read.isNull());
        QCOMPARE(read.size(), QSize(256, 256));
        QCOMPARE(read.convertToFormat(QImage::Format_RGB32), img.convertToFormat(QImage::Format_RGB32));
    }
}

void tst_stimuli_bmp::otherFormatsGiveTheSameBytes_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("invertTable");
    QTest::newRow("true colour") << int(QImage::Format_RGB32) << false;
    QTest::newRow("8-bit grey") << int(QImage::Format_Grayscale8) << false;
    QTest::newRow("1-bit, least significant bit first") << int(QImage::Format_MonoLSB) << false;
    QTest::newRow("1-bit, index 0 white") << int(QImage::Format_Mono) << true;
}

void tst_stimuli_bmp::otherFormatsGiveTheSameBytes() {
    QFETCH(int, format);
    QFETCH(bool, invertTable);
    const QImage &img = (*m_store)[3].ListImages(5);
    QImage other = img.convertToFormat(QImage::Format(format));
    if (invertTable) {
        other.invertPixels();
        other.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        QCOMPARE(other.convertToFormat(QImage::Format_RGB32), img.convertToFormat(QImage::Format_RGB32));
    }
    QCOMPARE(encodeBmp(other), encodeBmp(img));
}

void tst_stimuli_bmp::rowsArePadded() {
    // 10 pixels need 2 bytes a row, padded to 4; the bits past the last pixel are 0.
    QImage img(10, 3, QImage::Format_RGB32);
    img.fill(Qt::white);
    img.setPixel(0, 0, qRgb(0, 0, 0));
    img.setDotsPerMeterX(3780);
    img.setDotsPerMeterY(3780);
    const QByteArray bmp = encodeBmp(img);
    QCOMPARE(bmp.size(), 62 + 3 * 4);
    QCOMPARE(field(bmp, 2, 4), 74u);
    QCOMPARE(field(bmp, 34, 4), 12u);
    // Top row (last in the file): pixel 0 black, pixels 1..9 white, then padding.
    QCOMPARE(bmp.mid(62 + 2 * 4, 4), QByteArray::fromHex("7fc00000"));
    QCOMPARE(bmp.mid(62, 4), QByteArray::fromHex("ffc00000"));
    QVERIFY(encodeBmp(QImage()).isEmpty());
}

void tst_stimuli_bmp::exportWritesAll56() {
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString dir = tmp.filePath(u"not/yet/there"_qs);
    QString error;
    QVERIFY2(exportStimuli(*m_store, dir, &error), qPrintable(error));
    QCOMPARE(error, QString());
    const QStringList files = QDir(dir).entryList(QDir::Files, QDir::Name);
    QCOMPARE(files.size(), 56);
    for (int list = 0; list < 5; ++list)
        for (int position = 1; position <= (list == 0 ? 8 : 12); ++position) {
            const QString name = u"%1-%2.bmp"_qs.arg(list).arg(position);
            QFile f(QDir(dir).filePath(name));
            QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(name));
            const QByteArray bytes = f.readAll();
            QCOMPARE(bytes.size(), 8254);
            QCOMPARE(bytes, encodeBmp((*m_store)[list].ListImages(position)));
        }
}

void tst_stimuli_bmp::exportFails_data() {
    QTest::addColumn<QString>("blocker");    // made as a plain file before the export
    QTest::addColumn<QString>("folder");     // the export folder, relative to the temporary one
    QTest::addColumn<QString>("named");      // what the error message must name
    QTest::addColumn<bool>("blockIsFolder"); // the blocker is a folder instead
    QTest::newRow("folder is a file") << u"taken"_qs << u"taken"_qs << u"taken"_qs << false;
    QTest::newRow("parent is a file") << u"taken"_qs << u"taken/out"_qs << u"taken"_qs << false;
    QTest::newRow("picture name is a folder") << u"out/1-3.bmp"_qs << u"out"_qs << u"1-3.bmp"_qs << true;
}

void tst_stimuli_bmp::exportFails() {
    QFETCH(QString, blocker);
    QFETCH(QString, folder);
    QFETCH(QString, named);
    QFETCH(bool, blockIsFolder);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    if (blockIsFolder) {
        QVERIFY(QDir(tmp.path()).mkpath(blocker));
    } else {
        QFile f(tmp.filePath(blocker));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QString error;
    QVERIFY(!exportStimuli(*m_store, tmp.filePath(folder), &error));
    QVERIFY2(error.contains(named), qPrintable(error));
    // Without a place for the message the failure is still reported.
    QVERIFY(!exportStimuli(*m_store, tmp.filePath(folder), nullptr));
}

QTEST_MAIN(tst_stimuli_bmp)
#include "tst_stimuli_bmp.moc"
