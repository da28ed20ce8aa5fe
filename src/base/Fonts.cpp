#include "base/Fonts.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QStringList>

namespace kivora {

QString uiFaceName() {
    return u"ＭＳ Ｐゴシック"_qs;
}

void installFontSubstitutes() {
    const QStringList families = QFontDatabase::families();
    if (families.contains(uiFaceName()) || families.contains(u"MS PGothic"_qs))
        return;
    for (const QString &alias : {uiFaceName(), u"MS PGothic"_qs})
        QFont::insertSubstitutions(alias, {u"IPAPGothic"_qs, u"IPAGothic"_qs, u"Noto Sans CJK JP"_qs});
}

bool japaneseFaceAvailable() {
    const QStringList families = QFontDatabase::families(QFontDatabase::Japanese);
    for (const QString &f :
         {uiFaceName(), u"MS PGothic"_qs, u"IPAPGothic"_qs, u"IPAGothic"_qs, u"Noto Sans CJK JP"_qs})
        if (families.contains(f))
            return true;
    return false;
}

QFont uiFont(qreal pointSize, bool bold) {
    QFont f(uiFaceName());
    f.setPointSizeF(pointSize);
    f.setWeight(bold ? QFont::Bold : QFont::Normal);
    return f;
}

} // namespace kivora
