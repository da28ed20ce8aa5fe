#include "base/Fonts.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QStringList>

namespace kivora {

QString uiFaceName() {
    return u"ＭＳ Ｐゴシック"_qs;
}

namespace {
// The faces that stand in for "ＭＳ Ｐゴシック" where it is missing, best first. Windows without
// the Japanese supplemental fonts still has Yu Gothic (Windows 10 and later).
QStringList standIns() {
#ifdef Q_OS_WIN
    return {u"Yu Gothic"_qs, u"Meiryo"_qs, u"IPAPGothic"_qs, u"IPAGothic"_qs, u"Noto Sans CJK JP"_qs};
#else
    return {u"IPAPGothic"_qs, u"IPAGothic"_qs, u"Noto Sans CJK JP"_qs};
#endif
}
} // namespace

void installFontSubstitutes() {
    const QStringList families = QFontDatabase::families();
    if (families.contains(uiFaceName()) || families.contains(u"MS PGothic"_qs))
        return;
    for (const QString &alias : {uiFaceName(), u"MS PGothic"_qs})
        QFont::insertSubstitutions(alias, standIns());
}

bool japaneseFaceAvailable() {
    const QStringList families = QFontDatabase::families(QFontDatabase::Japanese);
    for (const QString &f : QStringList{uiFaceName(), u"MS PGothic"_qs} + standIns())
        if (families.contains(f))
            return true;
    return false;
}

QString japaneseFontSource() {
#ifdef Q_OS_WIN
    return u"add the Japanese Supplemental Fonts under Settings > Apps > Optional features"_qs;
#else
    return u"install fonts-ipafont-gothic"_qs;
#endif
}

QFont uiFont(qreal pointSize, bool bold) {
    QFont f(uiFaceName());
    f.setPointSizeF(pointSize);
    f.setWeight(bold ? QFont::Bold : QFont::Normal);
    return f;
}

} // namespace kivora
