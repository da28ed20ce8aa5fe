#include "base/FolderFile.h"

#include <algorithm>

namespace kivora {

FolderFileRead readOpenFile(qint64 size, qint64 maxBytes, const std::function<qint64(char *, qint64)> &read) {
    FolderFileRead r;
    r.kind = EntryKind::Regular;
    r.size = size;
    if (size > maxBytes) {
        r.status = FolderFileRead::TooLarge;
        return r;
    }
    r.bytes.resize(qsizetype(size));
    qsizetype have = 0;
    for (;;) {
        if (have == r.bytes.size()) {
            if (have > maxBytes)
                break;
            r.bytes.resize(have + qsizetype(std::min<qint64>(maxBytes + 1 - have, 64 * 1024)));
        }
        const qint64 got = read(r.bytes.data() + have, r.bytes.size() - have);
        if (got < 0) {
            r.bytes.clear();
            r.status = FolderFileRead::Failed;
            return r;
        }
        if (got == 0)
            break;
        have += qsizetype(got);
    }
    r.bytes.truncate(have);
    r.size = have;
    if (have > maxBytes) {
        r.bytes.clear();
        r.status = FolderFileRead::TooLarge;
        return r;
    }
    r.status = FolderFileRead::Read;
    return r;
}

bool isWindowsDeviceName(const QString &name) {
    QString stem = name.left(name.indexOf(u'.')).toUpper();
    while (stem.endsWith(u' '))
        stem.chop(1);
    if (stem == u"CON"_qs || stem == u"PRN"_qs || stem == u"AUX"_qs || stem == u"NUL"_qs ||
        stem == u"CONIN$"_qs || stem == u"CONOUT$"_qs)
        return true;
    if (stem.size() != 4 || !(stem.startsWith(u"COM"_qs) || stem.startsWith(u"LPT"_qs)))
        return false;
    const QChar n = stem[3];
    return (n >= u'0' && n <= u'9') || n == u'¹' || n == u'²' || n == u'³';
}

} // namespace kivora
