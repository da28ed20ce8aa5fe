#include "ui/frmMain.h"

#include "ui/PictureBox.h"
#include "ui/TimersPresenter.h"
#include "platform/WindowSystem.h"
#include "ui/basTime.h"
#include "base/Clock.h"
#include "base/Fonts.h"
#include "base/KeyCodes.h"
#include "base/Twips.h"

#include <QApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

using kivora::rectFromTwips;

namespace {
QPushButton *makeButton(QWidget *parent, const QString &name, const QString &caption, const QRect &geometry) {
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setGeometry(geometry);
    b->setFont(kivora::uiFont(14.25, true));
    b->setAutoDefault(false);
    return b;
}
} // namespace

frmMain::frmMain(kivora::TimeSource &time, const std::function<kivora::PictureStore::Shapes()> &shapes,
                 QWidget *parent)
    : QWidget(parent), ImageList(shapes()), m_run(basTime::State, time, ImageList, *this),
      tmWait(&m_run.timerEnding(kivora::Stage::Countdown)), tmPrim(&m_run.timerEnding(kivora::Stage::First)),
      tmSec(&m_run.timerEnding(kivora::Stage::Cue)), CurTrial(m_run.curTrial()),
      StartTime(m_run.startTime()) {
    setObjectName(u"frmMain"_qs);
    setWindowTitle(u"Kivora"_qs);
    // Client area 5280 x 4995 twips, designed at 3810, 1920. Nothing reacts to resizing: the
    // controls keep their places.
    resize(kivora::pxFromTwips(5280), kivora::pxFromTwips(4995));
    move(kivora::pxFromTwips(3810), kivora::pxFromTwips(1920));

    // Tab order 0, 1, 2 = creation order of the buttons; the label and the picture take no focus.
    btnStart = makeButton(this, u"btnStart"_qs, u"開始"_qs, rectFromTwips(720, 4440, 1215, 495));
    btnStop = makeButton(this, u"btnStop"_qs, u"中止"_qs, rectFromTwips(2040, 4440, 1215, 495));
    btnEnd = makeButton(this, u"btnEnd"_qs, u"終了"_qs, rectFromTwips(3360, 4440, 1215, 495));
    btnStop->setEnabled(false);
    setTabOrder(btnStart, btnStop);
    setTabOrder(btnStop, btnEnd);

    lMsg = new QLabel(this);
    lMsg->setObjectName(u"lMsg"_qs);
    lMsg->setGeometry(rectFromTwips(720, 4080, 3855, 375));
    lMsg->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lMsg->setFont(kivora::uiFont(14.25, true));

    Image1 = new kivora::PictureBox(this);
    Image1->setObjectName(u"Image1"_qs);
    Image1->setGeometry(rectFromTwips(690, 120, 3900, 3900));

    // Labels lie beneath the window's other controls.
    lMsg->lower();

    connect(btnStart, &QPushButton::clicked, this, &frmMain::btnStart_Click);
    connect(btnStop, &QPushButton::clicked, this, &frmMain::btnStop_Click);
    connect(btnEnd, &QPushButton::clicked, this, &frmMain::btnEnd_Click);
    connect(tmWait, &kivora::StageTimer::Timer, this, &frmMain::tmWait_Timer);
    connect(tmPrim, &kivora::StageTimer::Timer, this, &frmMain::tmPrim_Timer);
    connect(tmSec, &kivora::StageTimer::Timer, this, &frmMain::tmSec_Timer);

    setPresenter(std::make_unique<kivora::TimersPresenter>(this, Image1, time.clock()));

    // Key preview: the window sees every key before the focused control.
    qApp->installEventFilter(this);
    btnStart->setFocus();
}

frmMain::~frmMain() {
    qApp->removeEventFilter(this);
}

void frmMain::Refresh() {
    m_run.refresh();
}

void frmMain::showPicture(const QImage *picture) {
    Image1->setPicture(picture);
}

void frmMain::showCaption(const QString &caption) {
    lMsg->setText(caption);
}

void frmMain::repaintNow() {
    // Only paint requests are handled here: no key or timer handler can run in the middle of
    // the caller.
    kivora::repaintNow(this);
}

QString frmMain::askName() {
    QInputDialog dialog(this);
    dialog.setObjectName(u"nameDialog"_qs);
    dialog.setWindowTitle(QApplication::applicationName()); // no caption of its own
    dialog.setLabelText(u"氏名を入力してください"_qs);
    dialog.setTextValue(QString());
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setOkButtonText(u"OK"_qs);
    dialog.setCancelButtonText(u"キャンセル"_qs);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.textValue();
}

bool frmMain::eventFilter(QObject *watched, QEvent *event) {
    const auto type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return QWidget::eventFilter(watched, event);
    auto *target = qobject_cast<QWidget *>(watched);
    if (!target || !(target == this || isAncestorOf(target)) || !isActiveWindow())
        return QWidget::eventFilter(watched, event);
    if (type == QEvent::KeyRelease)
        return true; // no key reaches the focused control, nor does its release (Space clicks on release)

    // The clock first, before any of the handler's own work lengthens the reaction time.
    qint64 keyUs = m_run.clock().nowUs();
    auto *key = static_cast<QKeyEvent *>(event);
    // Better still, the moment the press arrived, stamped by the key reader. Auto-repeats are no
    // presses of their own.
    if (!key->isAutoRepeat())
        keyUs = m_run.keyTime(key->nativeScanCode(), keyUs);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)
        return false; // focus moves between the buttons as usual

    int code = kivora::virtualKeyCode(*key);
    if (code == kivora::VK_RETURN && !key->isAutoRepeat() && btnStart->isEnabled()) {
        // Between runs Enter clicks the focused button, or else the default button btnStart.
        // During a run (btnStart disabled) it clicks nothing: the focus then rests on Stop, and
        // keypad Enter lies right beside the answer keys, so a slip would end the run. Esc
        // stops a run.
        auto *focused = qobject_cast<QPushButton *>(QApplication::focusWidget());
        if (focused && focused->window() == this && focused->isEnabled())
            focused->click();
        else
            btnStart->click();
        return true;
    } else if (code == kivora::VK_ESCAPE && !key->isAutoRepeat() && btnStop->isEnabled()) {
        btnStop->click(); // the cancel button
        return true;
    }
    if (key->isAutoRepeat())
        code = 0; // a held key answers once, not again with every repeat
    Form_KeyDown(code, int(key->modifiers() & Qt::ShiftModifier ? 1 : 0), keyUs);
    return true;
}
