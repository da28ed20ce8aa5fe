#pragma once

#include <QFont>
#include <QString>

namespace kivora {

// The face every explicitly set font of the windows and the chart asks for.
QString uiFaceName(); // "ＭＳ Ｐゴシック"

// Where the system lacks "ＭＳ Ｐゴシック", let it resolve to IPAPGothic, its proportional
// stand-in (Debian ships no alias, and fontconfig would pick a Latin face or the fixed-pitch
// IPAGothic). A real MS PGothic, where installed, still wins. Call before any widget exists.
void installFontSubstitutes();

// True when a face that draws Japanese is available for uiFaceName().
bool japaneseFaceAvailable();

// uiFaceName() at the given point size and weight, Shift-JIS charset's script hint aside.
QFont uiFont(qreal pointSize, bool bold = false);

} // namespace kivora
