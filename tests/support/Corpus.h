#pragma once

// The fuzz corpora in tests/fuzz/: corpus/ (the plan reader's), corpus-datafile/ and
// corpus-settings/. Each file seeds its reader's fuzz target and is a case of that reader's tests.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

namespace corpus {

// tests/fuzz/<name> of the source tree; CTest gives the tests KIVORA_SOURCE_DIR.
inline QString dir(const QString &name) {
    const QString source = qEnvironmentVariable("KIVORA_SOURCE_DIR");
    if (source.isEmpty())
        qFatal("KIVORA_SOURCE_DIR is not set, so tests/fuzz cannot be found (ctest sets it)");
    return source + u"/tests/fuzz/"_qs + name;
}

inline QStringList files(const QString &name) {
    return QDir(dir(name)).entryList(QDir::Files, QDir::Name);
}

// The bytes of a file of corpus name.
inline QByteArray file(const QString &name, const QString &file) {
    QFile f(dir(name) + u'/' + file);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("cannot read the corpus file %s: %s", qPrintable(f.fileName()), qPrintable(f.errorString()));
    return f.readAll();
}

} // namespace corpus
