// The CUPS side of the print-queue watch.
#include "platform/PrintQueue.h"

#include <QLibrary>
#include <cups/cups.h>

namespace kivora {

PrintQueueWatch::PrintQueueWatch() = default;
PrintQueueWatch::~PrintQueueWatch() = default;

QString PrintQueueWatch::refusal() const {
    // libcups is looked up when printing, not linked: the print plugin has loaded it by then, and
    // linking it would load it and its dependencies at every start-up.
    using LastError = ipp_status_t (*)();
    using LastErrorString = const char *(*)();
    QLibrary cups(u"cups"_qs, 2);
    const auto lastError = reinterpret_cast<LastError>(cups.resolve("cupsLastError"));
    const auto lastErrorString = reinterpret_cast<LastErrorString>(cups.resolve("cupsLastErrorString"));
    if (!lastError || !lastErrorString || lastError() <= IPP_STATUS_OK_EVENTS_COMPLETE)
        return {};
    return QString::fromUtf8(lastErrorString());
}

} // namespace kivora
