// libFuzzer target on the settings reader (kivora.ini, which every lab edits by hand). Whatever the
// bytes, the reader either gives options whose keys stand on lines the file has, or refuses with
// "FILE:LINE: message" at such a line; it never throws anything else. The seed corpus is
// tests/fuzz/corpus-settings/ (the kivora.ini files the packages ship).
#include "startup/Settings.h"
#include "support/PlanCorpus.h"

#include <QDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// A fixed environment: a variable whose name starts with K is set, any other is not.
std::optional<QString> environment(const QString &name) {
    return name.startsWith(u'K') ? std::optional(u"/set/"_qs + name) : std::nullopt;
}

QString brokenPromise(const QByteArray &content) {
    const QString file = u"/lab/kivora.ini"_qs;
    const int lines = plans::lineCount(content);
    try {
        const kivora::Settings s = kivora::parseSettings(content, file, environment);
        for (auto it = s.lines.begin(); it != s.lines.end(); ++it)
            if (it.value() < 1 || it.value() > lines)
                return u"key %1 said to stand on line %2 of %3"_qs.arg(it.key()).arg(it.value()).arg(lines);
    } catch (const kivora::SettingsError &e) {
        const QString prefix = QDir::toNativeSeparators(file) + u':';
        bool ok = false;
        const int line = e.detail().startsWith(prefix)
                             ? e.detail().sliced(prefix.size()).section(u':', 0, 0).toInt(&ok)
                             : 0;
        if (!ok || line < 1 || line > lines)
            return u"refused as \"%1\", not at a line of the %2"_qs.arg(e.detail().left(80)).arg(lines);
    }
    return {};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray content = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString broken = brokenPromise(content);
    if (!broken.isEmpty()) {
        std::fprintf(stderr, "settings reader: %s\n", qPrintable(broken));
        std::abort();
    }
    return 0;
}
