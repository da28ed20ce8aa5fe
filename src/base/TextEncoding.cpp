#include "base/TextEncoding.h"

#include <QStringDecoder>

#include <algorithm>

namespace kivora {

bool isUtf8(QByteArrayView bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8(bytes);
    return !utf8.hasError();
}

int firstLineNotUtf8(QByteArrayView bytes) {
    // No byte of a multi-byte UTF-8 sequence is a CR or LF, so each line can be checked alone.
    int line = 1;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= bytes.size(); ++i) {
        const bool end = i == bytes.size();
        if (!end && bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        if (!isUtf8(bytes.sliced(start, i - start)))
            return line;
        if (end)
            break;
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
        ++line;
    }
    return 0;
}

bool hasPrivateUse(QStringView text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() >= 0xE000 && c.unicode() <= 0xF8FF; });
}

} // namespace kivora
