#include "ui/ClassFolderWatch.h"

#include <QMetaObject>
#include <QThread>
#include <QTimer>

namespace kivora {

// The rescans, on the watch's thread. What it finds goes to the watch through a queued
// connection, which Qt drops with the watch.
class ClassFolderScanner final : public QObject {
    Q_OBJECT
public:
    ClassFolderScanner(std::unique_ptr<ClassFolder> folder, int intervalMs)
        : m_folder(std::move(folder)), m_intervalMs(intervalMs) {}

    void start() {
        auto *timer = new QTimer(this);
        timer->setInterval(m_intervalMs);
        connect(timer, &QTimer::timeout, this, &ClassFolderScanner::scan);
        timer->start();
        scan();
    }

    void scan() {
        const bool first = std::exchange(m_first, false);
        if (m_folder->rescan() || first)
            emit changed(std::make_shared<const ClassState>(m_folder->state()));
    }

signals:
    void changed(std::shared_ptr<const kivora::ClassState> state);

private:
    std::unique_ptr<ClassFolder> m_folder;
    int m_intervalMs;
    bool m_first = true;
};

ClassFolderWatch::ClassFolderWatch(std::unique_ptr<ClassFolder> folder, int intervalMs, QObject *parent)
    : QObject(parent), m_folderPath(folder->folder()), m_thread(new QThread),
      m_scanner(new ClassFolderScanner(std::move(folder), intervalMs)) {
    m_scanner->moveToThread(m_thread);
    connect(m_scanner, &ClassFolderScanner::changed, this, &ClassFolderWatch::changed);
    connect(m_thread, &QThread::finished, m_scanner, &QObject::deleteLater);
}

ClassFolderWatch::~ClassFolderWatch() {
    if (!m_stopped)
        stop(2000);
}

void ClassFolderWatch::start() {
    m_thread->start();
    QMetaObject::invokeMethod(m_scanner, [s = m_scanner] { s->start(); });
}

void ClassFolderWatch::scanNow() {
    QMetaObject::invokeMethod(m_scanner, [s = m_scanner] { s->scan(); });
}

bool ClassFolderWatch::stop(int waitMs) {
    m_stopped = true;
    m_thread->quit();
    if (!m_thread->isRunning() || m_thread->wait(waitMs)) {
        // The scanner went with the thread's end (deleteLater on finished); one never started is
        // deleted here.
        if (!m_thread->isFinished())
            delete m_scanner;
        delete m_thread;
        return true;
    }
    // Held in a system call: neither the thread nor its scanner may be destroyed now; what it
    // finds later reaches nobody.
    disconnect(m_scanner, nullptr, this, nullptr);
    return false;
}

} // namespace kivora

#include "ClassFolderWatch.moc"
