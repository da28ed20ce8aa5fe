#include "session/Participant.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace kivora {

const QStringList &subjectModeWords() {
    static const QStringList words{u"name"_qs, u"code"_qs, u"auto"_qs};
    return words;
}

bool isParticipantCode(const QString &text) {
    static const QRegularExpression code(u"\\A[A-Za-z0-9][A-Za-z0-9_-]{0,31}\\z"_qs);
    return code.match(text).hasMatch();
}

QString participantCodeRule() {
    return QCoreApplication::translate(
        "Participant", "参加者コードには、英字 (A〜Z, a〜z)、数字 (0〜9)、- と _ を 1〜32 文字使えます。"
                       "最初の文字は英字か数字です。空白、/ や日本語の文字は使えません。");
}

QString freshParticipantCode(const std::function<quint32()> &random,
                             const std::function<bool(const QString &)> &taken) {
    // A million codes: a folder of data files holds far fewer, so a free one comes soon. Should
    // none come, the last one tried is offered, and refused when it is used.
    QString code;
    for (int tries = 0; tries < 100'000; ++tries) {
        code = u"P%1"_qs.arg(random() % 1'000'000, 6, 10, QChar(u'0'));
        if (!taken(code))
            break;
    }
    return code;
}

} // namespace kivora
