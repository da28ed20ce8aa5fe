#pragma once

#include <QWidget>

class QPlainTextEdit;
class QPushButton;

// A small window that shows one message text. Nothing in the program opens it; it exists with
// its text property Msg. The focus always stays on btnDummy, a button hidden beneath the text,
// so no caret or selection ever appears in the text.
class frmMessage : public QWidget {
    Q_OBJECT
public:
    explicit frmMessage(QWidget *parent = nullptr);

    // The one instance, created (loaded, not shown) on first use.
    static frmMessage &instance();
    static bool isLoaded();
    // Destroys the instance (unloading it); the next use loads it anew with an empty text.
    static void unload();

    QString Msg() const;
    void setMsg(const QString &NewMsg);

    QPlainTextEdit *txtMessage;
    QPushButton *btnDummy;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void txtMessage_GotFocus();
    // The text exactly as given: the text box shows it, but its document keeps line breaks and
    // no-break spaces in forms of its own, so reading it back would not give the same string.
    QString m_msg;
};
