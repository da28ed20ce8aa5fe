// The X11 side of the key reader: XInput 2 raw key presses on a thread of its own.
#include "platform/KeyReader.h"

#include "base/Clock.h"
#include "base/KeyStamps.h"

#include <QGuiApplication>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <future>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xinput.h>

namespace kivora {

namespace {

struct Connection {
    xcb_connection_t *c = nullptr;
    quint8 opcode = 0; // the XInput extension's major opcode, in its events
    ~Connection() {
        if (c)
            xcb_disconnect(c);
    }
};

class XiKeyReader final : public KeyReader {
public:
    explicit XiKeyReader(KeyStamps &stamps);
    ~XiKeyReader() override;
    XiKeyReader(const XiKeyReader &) = delete;
    XiKeyReader &operator=(const XiKeyReader &) = delete;
    const char *source() const override;

private:
    void run();

    std::unique_ptr<Connection> m_connection;
    KeyStamps &m_stamps;
    std::promise<bool> m_reading; // set once the reader knows whether it reads the keys
    std::shared_future<bool> m_reads = m_reading.get_future().share();
    int m_stopFd = -1; // written to when the reader is to end
    std::thread m_thread;
};

} // namespace

std::unique_ptr<KeyReader> KeyReader::start(KeyStamps &stamps) {
    if (QGuiApplication::platformName() != u"xcb"_qs)
        return nullptr;
    return std::make_unique<XiKeyReader>(stamps);
}

namespace {

// Connects to the display and asks for its raw key presses; nothing where it has no XInput 2.1.
std::unique_ptr<Connection> connectForKeys() {
    auto connection = std::make_unique<Connection>();
    int screenNumber = 0;
    connection->c = xcb_connect(nullptr, &screenNumber);
    xcb_connection_t *c = connection->c;
    if (xcb_connection_has_error(c))
        return nullptr;
    const xcb_query_extension_reply_t *ext = xcb_get_extension_data(c, &xcb_input_id);
    if (!ext || !ext->present)
        return nullptr;
    connection->opcode = ext->major_opcode;
    // Raw events reach the root window of whoever asks from XInput 2.1 on, whatever has the
    // focus or a grab.
    auto *version = xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr);
    const bool recent = version && (version->major_version > 2 ||
                                    (version->major_version == 2 && version->minor_version >= 1));
    std::free(version);
    if (!recent)
        return nullptr;

    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    struct {
        xcb_input_event_mask_t head;
        quint32 mask;
    } select{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS};
    xcb_generic_error_t *error =
        xcb_request_check(c, xcb_input_xi_select_events_checked(c, screens.data->root, 1, &select.head));
    if (error) {
        std::free(error);
        return nullptr;
    }
    return connection;
}

} // namespace

// The connection is made on the reader's own thread, off the start-up path.
XiKeyReader::XiKeyReader(KeyStamps &stamps)
    : m_stamps(stamps), m_stopFd(::eventfd(0, EFD_CLOEXEC)), m_thread([this] { run(); }) {}

XiKeyReader::~XiKeyReader() {
    const quint64 one = 1;
    if (::write(m_stopFd, &one, sizeof one) < 0) {
        // The reader cannot be told; it still ends when the connection goes with the process.
        m_thread.detach();
    } else {
        m_thread.join();
    }
    ::close(m_stopFd);
    m_stamps.setFed(false);
}

const char *XiKeyReader::source() const {
    const bool known = m_reads.wait_for(std::chrono::seconds(1)) == std::future_status::ready;
    return known && m_reads.get() ? "xinput2" : "filter";
}

void XiKeyReader::run() {
    // The reader spends its life waiting; when a key comes it should run at once, ahead of the
    // threads that wake for the same key. A real-time priority needs a privilege (root, or an
    // RLIMIT_RTPRIO above 0) that a lab's account may lack: then it runs as any thread does.
    sched_param priority{};
    priority.sched_priority = 1;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority);

    m_connection = connectForKeys();
    if (!m_connection) {
        m_reading.set_value(false);
        return; // no raw key presses here: the key handler keeps its own clock reading
    }
    m_stamps.setFed(true);
    m_reading.set_value(true);
    xcb_connection_t *c = m_connection->c;
    pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {m_stopFd, POLLIN, 0}};
    for (;;) {
        // Events xcb has already read come first; then wait for the socket or the end.
        while (xcb_generic_event_t *event = xcb_poll_for_event(c)) {
            const qint64 now = SteadyClock::instance().nowUs();
            const auto *ge = reinterpret_cast<const xcb_ge_generic_event_t *>(event);
            if ((event->response_type & 0x7f) == XCB_GE_GENERIC && ge->extension == m_connection->opcode &&
                ge->event_type == XCB_INPUT_RAW_KEY_PRESS) {
                const auto *key = reinterpret_cast<const xcb_input_raw_key_press_event_t *>(event);
                m_stamps.add(key->detail, now);
            }
            std::free(event);
        }
        if (xcb_connection_has_error(c))
            return;
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents)
            return;
    }
}

} // namespace kivora
