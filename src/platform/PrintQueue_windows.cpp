// The Windows side of the print-queue watch. Qt's Windows print engine calls EndPage and EndDoc
// in QPainter::end(), and when the spooler refuses either it writes a warning and still reports
// success. The watch takes those warnings (and only those) while it exists.
#include "platform/PrintQueue.h"

#include <QtGlobal>

namespace kivora {

namespace {
const QString EnginePrefix = u"QWin32PrintEngine::end: "_qs;
QtMessageHandler s_previous = nullptr;
QString s_refusal;

void takeEngineWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message) {
    if (type == QtWarningMsg && message.startsWith(EnginePrefix))
        s_refusal += (s_refusal.isEmpty() ? QString() : u"; "_qs) + message.mid(EnginePrefix.size());
    else if (s_previous)
        s_previous(type, context, message);
}
} // namespace

PrintQueueWatch::PrintQueueWatch() {
    s_refusal.clear();
    s_previous = qInstallMessageHandler(takeEngineWarnings);
}

PrintQueueWatch::~PrintQueueWatch() {
    qInstallMessageHandler(s_previous);
    s_previous = nullptr;
}

QString PrintQueueWatch::refusal() const {
    return s_refusal;
}

} // namespace kivora
