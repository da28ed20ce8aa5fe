#include "base/TextLanguage.h"

#include <QLocale>

namespace kivora {

namespace {
QString &language() {
    static QString code = u"ja"_qs;
    return code;
}
} // namespace

QString textLanguage() {
    return language();
}

void setTextLanguage(const QString &code) {
    language() = code;
}

bool breaksLinesAtSpaces() {
    switch (QLocale(language()).script()) {
    case QLocale::JapaneseScript:
    case QLocale::HanScript:
    case QLocale::SimplifiedHanScript:
    case QLocale::TraditionalHanScript:
    case QLocale::ThaiScript:
    case QLocale::LaoScript:
    case QLocale::KhmerScript:
    case QLocale::MyanmarScript:
    case QLocale::TibetanScript:
        return false;
    default:
        return true;
    }
}

} // namespace kivora
