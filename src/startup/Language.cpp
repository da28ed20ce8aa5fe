#include "startup/Language.h"

#include "base/TextLanguage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QTranslator>

#include <memory>
#include <vector>

namespace kivora {

namespace {

// The English the program carries in its resources, compiled from translations/kivora_en.ts.
const QString BuiltInEnglish = u":/i18n/kivora_en.qm"_qs;

// kivora_<code>.qm: a code of letters, digits and '_' (pt_BR, zh_TW).
const QRegularExpression &fileName() {
    static const QRegularExpression name(u"\\Akivora_([A-Za-z]{2,3}(?:_[A-Za-z0-9]+)*)\\.qm\\z"_qs);
    return name;
}

// The name of a language in itself. A bare code names the language, not one country's form of it
// (English, not American English), where Qt has a form for the whole world.
QString nativeName(const QString &code) {
    const QLocale locale(code);
    if (locale.language() == QLocale::C)
        return {};
    if (!code.contains(u'_')) {
        const QLocale world(locale.language(), QLocale::World);
        if (world.language() == locale.language() && world.territory() == QLocale::World)
            return world.nativeLanguageName();
    }
    return locale.nativeLanguageName();
}

// The translators in use: they must live as long as the application.
std::vector<std::unique_ptr<QTranslator>> &installed() {
    static std::vector<std::unique_ptr<QTranslator>> translators;
    return translators;
}

} // namespace

QStringList translationFolders(const StartupPlaces &places) {
    QStringList folders;
    for (const QString &base : {places.programDir, places.userConfigDir, places.bundledPlanDir})
        if (!base.isEmpty())
            folders << QDir(base).filePath(u"translations"_qs);
    return folders;
}

QList<Language> findLanguages(const QStringList &folders) {
    QList<Language> languages{{u"ja"_qs, {}}, {u"en"_qs, {}}};
    for (const QString &folder : folders) {
        for (const QString &name : QDir(folder).entryList({u"kivora_*.qm"_qs}, QDir::Files, QDir::Name)) {
            const QRegularExpressionMatch m = fileName().match(name);
            if (!m.hasMatch())
                continue;
            const QString code = m.captured(1);
            const auto known = std::find_if(languages.begin(), languages.end(),
                                            [&code](const Language &l) { return l.code == code; });
            // The first file found for a code is its file; for ja and en, a lab's wording.
            if (known == languages.end())
                languages << Language{code, QDir(folder).filePath(name)};
            else if (known->file.isEmpty())
                known->file = QDir(folder).filePath(name);
        }
    }
    std::sort(languages.begin() + 2, languages.end(),
              [](const Language &a, const Language &b) { return a.code < b.code; });
    return languages;
}

QString languageList(const QList<Language> &languages) {
    QString text;
    for (const Language &l : languages) {
        const QString name = nativeName(l.code);
        text += (name.isEmpty() ? l.code : l.code + u' ' + name) + u'\n';
    }
    return text;
}

bool useLanguage(const QString &code, const QList<Language> &found, const QStringList &folders,
                 QString *error) {
    const auto language =
        std::find_if(found.begin(), found.end(), [&code](const Language &l) { return l.code == code; });
    if (language == found.end()) {
        QStringList codes;
        for (const Language &l : found)
            codes << l.code;
        QStringList looked;
        for (const QString &folder : folders)
            looked << QDir::toNativeSeparators(folder) +
                          (QFileInfo(folder).isDir() && !QFileInfo(folder).isReadable()
                               ? u" (cannot be read)"_qs
                               : QString());
        *error = u"--language %1: no translation kivora_%1.qm in %2; the languages found: %3"_qs.arg(
            code, looked.join(u", "_qs), codes.join(u", "_qs));
        return false;
    }
    // The files, first to last: a lab's file is searched before the built-in English it lies over.
    QStringList files;
    if (code != u"ja"_qs)
        files << BuiltInEnglish;
    if (!language->file.isEmpty())
        files << language->file;
    std::vector<std::unique_ptr<QTranslator>> translators;
    for (const QString &file : files) {
        auto translator = std::make_unique<QTranslator>();
        if (!translator->load(file)) {
            *error = u"--language %1: %2 is not a translation file Qt can load (made by lrelease or Qt "
                     u"Linguist's File > Release?)"_qs.arg(code, QDir::toNativeSeparators(file));
            return false;
        }
        translators.push_back(std::move(translator));
    }
    // Qt's own texts (a file dialog's buttons) where Qt has them in that language.
    if (code != u"ja"_qs && code != u"en"_qs) {
        auto qt = std::make_unique<QTranslator>();
        if (qt->load(QLocale(code), u"qtbase"_qs, u"_"_qs,
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            translators.insert(translators.begin(), std::move(qt));
    }
    // A language asked for again replaces the one in use.
    for (const auto &translator : installed())
        QCoreApplication::removeTranslator(translator.get());
    installed() = std::move(translators);
    for (const auto &translator : installed())
        QCoreApplication::installTranslator(translator.get());
    setTextLanguage(code);
    QLocale::setDefault(code == u"ja"_qs ? QLocale(QLocale::Japanese, QLocale::Japan) : QLocale(code));
    return true;
}

} // namespace kivora
