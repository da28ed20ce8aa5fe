#include "ui/FlatTextBox.h"

#include <QPlainTextEdit>

namespace kivora {

QPlainTextEdit *makeFlatTextBox(QWidget *parent, const QString &name, const QRect &geometry,
                                const QFont &font) {
    auto *box = new QPlainTextEdit(parent);
    box->setObjectName(name);
    box->setGeometry(geometry);
    box->setReadOnly(true);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setFrameShape(QFrame::NoFrame);
    box->setFont(font);
    box->setBackgroundRole(QPalette::Button);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    box->setPalette(palette);
    return box;
}

} // namespace kivora
