#include "ui/frmMessage.h"

#include "base/Fonts.h"
#include "base/Twips.h"
#include "ui/FlatTextBox.h"

#include <QEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>

namespace {
QPointer<frmMessage> s_instance;
}

frmMessage::frmMessage(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    using kivora::pxFromTwips;
    setObjectName(u"frmMessage"_qs);
    setWindowTitle(u"Message"_qs);
    resize(pxFromTwips(4680), pxFromTwips(1395));
    move(pxFromTwips(4185), pxFromTwips(3240));

    // Created beneath first, so the text box lies on top of it.
    btnDummy = new QPushButton(u"Command1"_qs, this);
    btnDummy->setObjectName(u"btnDummy"_qs);
    btnDummy->setGeometry(kivora::rectFromTwips(1800, 480, 1215, 495));

    txtMessage = kivora::makeFlatTextBox(this, u"txtMessage"_qs, kivora::rectFromTwips(120, 120, 4455, 1215),
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
    return m_msg;
}

void frmMessage::setMsg(const QString &NewMsg) {
    m_msg = NewMsg;
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
