#pragma once

// Whole files written and read back in one call, for the tests that make plans, data folders and
// settings of their own.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace files {

// Writes bytes to path, replacing what was there; false when it could not.
inline bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The whole file, or nothing when it cannot be read.
inline QByteArray readFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace files
