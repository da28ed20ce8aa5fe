#pragma once

#include "results/ClassFolder.h"

#include <QObject>
#include <memory>

class QThread;

namespace kivora {

class ClassFolderScanner;

// A class's folder rescanned on a thread of its own, so that a listing or a read that waits on a
// network folder never holds up the window. It rescans every intervalMs (and at scanNow()), and
// hands the window a new state only when something changed (and once after the first listing):
// while nothing changes the window does no work at all.
class ClassFolderWatch : public QObject {
    Q_OBJECT
public:
    ClassFolderWatch(std::unique_ptr<ClassFolder> folder, int intervalMs, QObject *parent = nullptr);
    // Stops the thread where it was not stopped before (waiting up to two seconds).
    ~ClassFolderWatch() override;

    QString folder() const { return m_folderPath; }
    // Starts the first listing and the rescans.
    void start();
    // A rescan as soon as the thread is free.
    void scanNow();
    // Ends the rescans and waits up to waitMs for one under way; false when it has not ended (a
    // listing that hangs on a network folder): the thread is then left to the end of the process.
    bool stop(int waitMs);

signals:
    // On the thread the watch lives on (the window's), after each rescan that changed something.
    void changed(std::shared_ptr<const kivora::ClassState> state);

private:
    QString m_folderPath;
    QThread *m_thread;
    ClassFolderScanner *m_scanner; // lives on m_thread
    bool m_stopped = false;
};

} // namespace kivora
