#pragma once

#include <QFont>
#include <QString>

namespace kivora {

// The face every explicitly set font of the windows and the chart asks for.
QString uiFaceName(); // "ＭＳ Ｐゴシック"

// Where the system lacks "ＭＳ Ｐゴシック", let it resolve to a proportional stand-in: IPAPGothic
// on Linux (Debian ships no alias, and fontconfig would pick a Latin face or the fixed-pitch
// IPAGothic), Yu Gothic or Meiryo on Windows. A real MS PGothic, where installed, still wins.
// Call before any widget exists.
void installFontSubstitutes();

// True when a face that draws Japanese is available for uiFaceName().
bool japaneseFaceAvailable();

// How to get such a face on this system, for the warning when there is none.
QString japaneseFontSource();

// uiFaceName() at the given point size and weight, Shift-JIS charset's script hint aside.
QFont uiFont(qreal pointSize, bool bold = false);

} // namespace kivora
