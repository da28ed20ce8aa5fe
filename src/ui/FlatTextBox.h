#pragma once

#include <QFont>
#include <QRect>
#include <QString>

class QPlainTextEdit;
class QWidget;

namespace kivora {

// A multi-line, read-only text box drawn flat (no sunken edge, no scroll bars) on the face
// colour of buttons, as the message and results windows show their texts.
QPlainTextEdit *makeFlatTextBox(QWidget *parent, const QString &name, const QRect &geometry,
                                const QFont &font);

} // namespace kivora
