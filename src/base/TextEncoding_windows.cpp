// Code page 932 through the system's own table (the Qt of the Windows build has no ICU, so
// QStringDecoder knows no Windows code pages there).
#include "base/TextEncoding.h"

#include <windows.h>

#include <climits>

namespace kivora {

std::optional<QString> decodeCp932(QByteArrayView bytes) {
    if (bytes.isEmpty())
        return QString();
    if (bytes.size() > INT_MAX)
        return std::nullopt;
    const int in = int(bytes.size());
    const int units = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), in, nullptr, 0);
    if (units <= 0)
        return std::nullopt;
    QString text(units, Qt::Uninitialized);
    if (MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), in,
                            reinterpret_cast<wchar_t *>(text.data()), units) != units)
        return std::nullopt;
    return text;
}

} // namespace kivora
