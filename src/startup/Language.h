#pragma once

#include "startup/Settings.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace kivora {

// The languages of the texts a person reads. Japanese is the program's own; English is built in
// (translations/kivora_en.ts, compiled into the program); a lab adds a language, or rewords one of
// these, with a file kivora_<code>.qm in a translations folder.
struct Language {
    QString code; // as --language takes it: ja, en, de, pt_BR, ...
    QString file; // the lab's translation; empty where the program's own is used
};

// The translations folders, in the order they are searched: "translations" beside the program; in
// the installed layout also $XDG_CONFIG_HOME/kivora/translations and <share>/kivora/translations.
QStringList translationFolders(const StartupPlaces &places = startupPlaces());

// ja and en first, then every other code that has a kivora_<code>.qm in a folder, in order of code.
// The first file found for a code is its file, for ja and en too. A folder that cannot be read adds
// nothing.
QList<Language> findLanguages(const QStringList &folders);

// One line per language: its code and its name in itself as Qt gives it ("ja 日本語", "en English").
QString languageList(const QList<Language> &languages);

// Shows the texts in language code: installs the lab's translation over the built-in English (a text
// the lab's file leaves untranslated shows in English; Japanese needs none), Qt's own translation
// where Qt has one, and sets textLanguage and the default locale. Needs a QCoreApplication. False,
// with *error saying why (the codes found; the file Qt refused), where the code is not found or its
// file does not load; nothing changes then. A second call replaces the language of the first.
bool useLanguage(const QString &code, const QList<Language> &found, const QStringList &folders,
                 QString *error);

} // namespace kivora
