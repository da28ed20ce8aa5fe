#pragma once

// The texts in English for a test, as `--language en` shows them: the built-in translation
// installed and the text language set, both undone when the test is done. With "ja" nothing is
// installed: the program's own Japanese.

#include "base/TextLanguage.h"

#include <QCoreApplication>
#include <QTranslator>
#include <QtGlobal>

class InLanguage {
public:
    explicit InLanguage(const QString &code) {
        if (code == u"ja"_qs)
            return;
        if (!m_translator.load(u":/i18n/kivora_"_qs + code + u".qm"_qs))
            qFatal("no built-in translation for %s", qPrintable(code));
        QCoreApplication::installTranslator(&m_translator);
        kivora::setTextLanguage(code);
    }
    ~InLanguage() {
        QCoreApplication::removeTranslator(&m_translator);
        kivora::setTextLanguage(u"ja"_qs);
    }
    InLanguage(const InLanguage &) = delete;
    InLanguage &operator=(const InLanguage &) = delete;

private:
    QTranslator m_translator;
};
