#pragma once

#include <QString>

namespace kivora {

// Watches a print job being handed to the system's print queue: made just before
// QPainter::end() on the printer, asked after it. Qt hands the page over without looking at the
// queue's answer.
class PrintQueueWatch {
public:
    PrintQueueWatch();
    ~PrintQueueWatch();
    PrintQueueWatch(const PrintQueueWatch &) = delete;
    PrintQueueWatch &operator=(const PrintQueueWatch &) = delete;

    // Why the queue refused the job, or an empty string when it took it.
    //   CUPS: the status of the calling thread's last CUPS request, the hand-over of end().
    //   Windows: what the print engine reported about EndPage or EndDoc during end(); it reports
    //   a refusal there only as a warning.
    QString refusal() const;
};

} // namespace kivora
