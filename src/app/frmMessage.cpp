#include "app/frmMessage.h"

#include "app/FlatTextBox.h"
#include "app/Fonts.h"
#include "app/Twips.h"

#include <QEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>

namespace {
QPointer<frmMessage> s_instance;
}

frmMessage::frmMessage(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    using kivora::twips;
    setObjectName(u"frmMessage"_qs);
    setWindowTitle(u"Message"_qs);
    resize(twips(4680), twips(1395));
    move(twips(4185), twips(3240));

    // Created beneath first, so the text box lies on top of it.
    btnDummy = new QPushButton(u"Command1"_qs, this);
    btnDummy->setObjectName(u"btnDummy"_qs);
    btnDummy->setGeometry(kivora::twipRect(1800, 480, 1215, 495));

    txtMessage = kivora::makeFlatTextBox(this, u"txtMessage"_qs, kivora::twipRect(120, 120, 4455, 1215),
                                         kivora::uiFont(12));
    txtMessage->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    txtMessage->setFocusPolicy(Qt::ClickFocus); // not a tab stop; a click still gives it the focus
    txtMessage->installEventFilter(this);
    txtMessage->viewport()->installEventFilter(this);
    txtMessage->raise();

    setTabOrder(txtMessage, btnDummy);
    btnDummy->setFocus();
}

frmMessage &frmMessage::instance() {
    if (!s_instance)
        s_instance = new frmMessage;
    return *s_instance;
}

bool frmMessage::isLoaded() {
    return !s_instance.isNull();
}

void frmMessage::unload() {
    delete s_instance.data();
}

QString frmMessage::Msg() const {
    return txtMessage->toPlainText();
}

void frmMessage::setMsg(const QString &NewMsg) {
    txtMessage->setPlainText(NewMsg);
}

bool frmMessage::eventFilter(QObject *watched, QEvent *event) {
    if ((watched == txtMessage || watched == txtMessage->viewport()) && event->type() == QEvent::FocusIn)
        txtMessage_GotFocus();
    return QWidget::eventFilter(watched, event);
}

void frmMessage::txtMessage_GotFocus() {
    btnDummy->setFocus(Qt::OtherFocusReason);
}
