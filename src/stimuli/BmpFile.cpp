#include "stimuli/BmpFile.h"

#include "stimuli/PictureStore.h"

#include <QDir>
#include <QSaveFile>
#include <QtEndian>

namespace kivora {

namespace {

constexpr int FileHeaderSize = 14;
constexpr int InfoHeaderSize = 40;
constexpr int PaletteSize = 2 * 4;

void put16(QByteArray &out, quint16 v) {
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void put32(QByteArray &out, quint32 v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

void putBgra(QByteArray &out, QRgb c) {
    out.append(static_cast<char>(qBlue(c)));
    out.append(static_cast<char>(qGreen(c)));
    out.append(static_cast<char>(qRed(c)));
    out.append('\0');
}

} // namespace

QByteArray encodeBmp(const QImage &mono) {
    if (mono.isNull())
        return {};
    const int width = mono.width();
    const int height = mono.height();
    const int rowBytes = (width + 31) / 32 * 4;
    const int pixelBytes = rowBytes * height;
    const int offset = FileHeaderSize + InfoHeaderSize + PaletteSize;

    QByteArray out;
    out.reserve(offset + pixelBytes);
    // BITMAPFILEHEADER
    out.append("BM", 2);
    put32(out, static_cast<quint32>(offset + pixelBytes));
    put32(out, 0); // reserved
    put32(out, static_cast<quint32>(offset));
    // BITMAPINFOHEADER. A positive height means the rows run bottom-up.
    put32(out, InfoHeaderSize);
    put32(out, static_cast<quint32>(width));
    put32(out, static_cast<quint32>(height));
    put16(out, 1); // planes
    put16(out, 1); // bits per pixel
    put32(out, 0); // BI_RGB, no compression
    put32(out, static_cast<quint32>(pixelBytes));
    put32(out, static_cast<quint32>(mono.dotsPerMeterX()));
    put32(out, static_cast<quint32>(mono.dotsPerMeterY()));
    // Colours used: 2 rather than the equivalent 0 ("2 to the bit count"), so the header itself
    // says how long the palette is. Important colours: 0, all of them.
    put32(out, 2);
    put32(out, 0);
    putBgra(out, qRgb(0, 0, 0));
    putBgra(out, qRgb(255, 255, 255));

    // The stimulus pictures are already Format_Mono with index 1 white, and then each scan line is
    // the bitmap's row byte for byte; anything else goes through the threshold pixel by pixel.
    const bool direct = mono.format() == QImage::Format_Mono && mono.colorCount() == 2 &&
                        mono.color(0) == qRgb(0, 0, 0) && mono.color(1) == qRgb(255, 255, 255);
    QByteArray row(rowBytes, '\0');
    for (int y = height - 1; y >= 0; --y) {
        row.fill('\0');
        if (direct) {
            std::copy_n(mono.constScanLine(y), (width + 7) / 8, row.data());
            if (width % 8 != 0) // clear the bits past the last pixel
                row[width / 8] = static_cast<char>(row[width / 8] & (0xff00 >> (width % 8)));
        } else {
            for (int x = 0; x < width; ++x)
                if (qGray(mono.pixel(x, y)) >= 128)
                    row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
        }
        out.append(row);
    }
    return out;
}

bool exportStimuli(const PictureStore &store, const QString &dir, QString *error) {
    const auto fail = [&](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    const QDir target(dir);
    if (!target.mkpath(u"."_qs))
        return fail(u"Cannot create the folder %1"_qs.arg(QDir::toNativeSeparators(target.absolutePath())));

    for (int list = 0; list < PictureStore::ListCount; ++list) {
        const PictureList &pictures = store[list];
        for (int position = 1; position <= pictures.count(); ++position) {
            const QString path = target.absoluteFilePath(u"%1-%2.bmp"_qs.arg(list).arg(position));
            QSaveFile file(path);
            if (!file.open(QIODevice::WriteOnly))
                return fail(
                    u"Cannot write %1: %2"_qs.arg(QDir::toNativeSeparators(path), file.errorString()));
            const QByteArray bytes = encodeBmp(pictures.ListImages(position));
            if (file.write(bytes) != bytes.size() || !file.commit())
                return fail(
                    u"Cannot write %1: %2"_qs.arg(QDir::toNativeSeparators(path), file.errorString()));
        }
    }
    return true;
}

} // namespace kivora
