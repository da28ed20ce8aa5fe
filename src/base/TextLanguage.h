#pragma once

#include <QString>

namespace kivora {

// The language of the texts a person reads (a code as --language takes it: "ja", "en", "de"). The
// program's own texts are Japanese; start-up sets another once its translation is installed.
QString textLanguage();
void setTextLanguage(const QString &code);

// Whether the language puts spaces between its words, so that a line of a text screen breaks at a
// space. Japanese, Chinese, Thai and their neighbours write without them: a line breaks between any
// two characters.
bool breaksLinesAtSpaces();

} // namespace kivora
