#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace kivora {

class PictureStore;

// A two-colour picture as an uncompressed 1-bit Windows bitmap: 14-byte file header, 40-byte
// BITMAPINFOHEADER, the palette {black, white}, then the rows bottom row first, each padded to a
// multiple of 4 bytes; bit 1 is white, the leftmost pixel the top bit of a byte. A 256 x 256
// stimulus picture gives 14 + 40 + 8 + 256 x 32 = 8254 bytes. Whatever its format, the picture
// is reduced to black and white (grey 128 and lighter is white); its resolution is written as it
// is (the stimulus pictures carry 3780 pixels per metre). An empty picture gives an empty array.
QByteArray encodeBmp(const QImage &mono);

// Writes every picture of the store as DIR/<list>-<position>.bmp (0-1.bmp .. 0-8.bmp,
// 1-1.bmp .. 4-12.bmp), making DIR and its parents where missing. On failure returns false and,
// when error is given, puts there a message naming the folder or file that failed; files written
// before the failure stay.
bool exportStimuli(const PictureStore &store, const QString &dir, QString *error);

} // namespace kivora
