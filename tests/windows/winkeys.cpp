// A helper of the key tests and the key benchmark under wine: the program's key reader beside a
// key filter as the main window has one, on the same keys.
//
// Shows a window titled "winkeys", starts the key reader and prints, one key=value a line:
//   source=<rawinput|filter>   where the key times come from (KeyReader::sourceOf)
//   ready
// Then, for every key press the window gets (auto-repeats left out), one line
//   key scan=<n> vk=<n> filter_us=<us> stamp_us=<us>
// with Qt's native scan code and virtual key, the clock reading taken first thing in the key
// filter, and the reader's stamp that the filter takes for it by the key handler's rules (-1:
// none; later than the filter's reading where the reader came second). Commands on stdin, one a
// line: "clock" prints "clock <us>", a reading of the program's clock (for a caller that relates
// it to its own); "quit" ends the program. Times are the program's clock, QueryPerformanceCounter
// in µs.
#include "platform/KeyReader.h"
#include "base/Clock.h"
#include "base/KeyStamps.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

namespace {

std::mutex outputLock;

void say(const char *format, auto... values) {
    const std::lock_guard lock(outputLock);
    std::printf(format, values...);
    std::fflush(stdout);
}

class KeyFilter : public QObject {
public:
    KeyFilter(QWidget *window, kivora::KeyStamps *stamps) : m_window(window), m_stamps(stamps) {}

    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() != QEvent::KeyPress || watched != m_window)
            return false;
        // The clock first, as the main window's key filter reads it when the key reaches it.
        const qint64 filterUs = kivora::SteadyClock::instance().nowUs();
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->isAutoRepeat())
            return true;
        const qint64 stampUs =
            m_stamps ? m_stamps->take(key->nativeScanCode(), m_lastUs, filterUs).value_or(-1) : -1;
        m_lastUs = filterUs;
        say("key scan=%u vk=%u filter_us=%lld stamp_us=%lld\n", unsigned(key->nativeScanCode()),
            unsigned(key->nativeVirtualKey()), static_cast<long long>(filterUs),
            static_cast<long long>(stampUs));
        return true;
    }

private:
    QWidget *m_window;
    kivora::KeyStamps *m_stamps;
    qint64 m_lastUs = 0; // a press before the last one handled cannot be the next one
};

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(u"winkeys"_qs);
    window.resize(200, 100);
    window.setFocusPolicy(Qt::StrongFocus);
    window.show();
    window.setFocus();
    window.activateWindow();

    kivora::KeyStamps stamps;
    const std::unique_ptr<kivora::KeyReader> reader = kivora::KeyReader::start(stamps);
    KeyFilter filter(&window, reader ? &stamps : nullptr);
    app.installEventFilter(&filter);
    say("source=%s\nready\n", kivora::KeyReader::sourceOf(reader.get()));

    std::thread commands([&app] {
        std::string line;
        while (std::getline(std::cin, line)) {
            if (line.rfind("clock", 0) == 0) {
                say("clock %lld\n", static_cast<long long>(kivora::SteadyClock::instance().nowUs()));
            } else if (line.rfind("quit", 0) == 0) {
                break;
            }
        }
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    const int status = app.exec();
    commands.join();
    return status;
}
