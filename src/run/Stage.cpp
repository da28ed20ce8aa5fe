#include "run/Stage.h"

#include <QCoreApplication>

namespace kivora {

QString Stage::name() const {
    switch (m_id) {
    case Countdown:
        return u"countdown"_qs;
    case First:
        return u"first"_qs;
    case Cue:
        return u"cue"_qs;
    case Test:
        return u"test"_qs;
    default:
        return QString();
    }
}

std::optional<PictureRef> Stage::picture(const TrialRec &rec) const {
    switch (m_id) {
    case First:
        return firstPicture(rec);
    case Cue:
        return cuePicture(rec);
    case Test:
        return testPicture(rec);
    default:
        return std::nullopt;
    }
}

QString Stage::caption(qint16 left) const {
    switch (m_id) {
    case Countdown:
        return QCoreApplication::translate("Stage", "あと%n問", nullptr, left);
    case Test:
        return QCoreApplication::translate("Stage", "表(1)？ or 裏(2)？");
    default:
        return QString();
    }
}

} // namespace kivora
