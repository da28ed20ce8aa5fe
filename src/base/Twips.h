#pragma once

#include <QRect>
#include <cmath>

namespace kivora {

// Window and printer positions are designed in twips: 1440 to the inch, 15 to a pixel at
// 96 pixels per inch. On a scaled screen Qt maps these (device-independent) pixels further.
constexpr int TwipsPerPixel = 15;
constexpr int pxFromTwips(int t) {
    return t / TwipsPerPixel;
}
constexpr QRect rectFromTwips(int left, int top, int width, int height) {
    return QRect(pxFromTwips(left), pxFromTwips(top), pxFromTwips(width), pxFromTwips(height));
}

} // namespace kivora
