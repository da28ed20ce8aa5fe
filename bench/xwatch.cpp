// Watches the X display from outside the program, for the timing benchmark. Prints one line
// per event with the CLOCK_MONOTONIC microseconds at which it was read, after a line "ready":
//
//   xwatch damage WINDOW [X Y W H]   "<us> <x> <y> <w> <h>": a rectangle of WINDOW changed (the
//                                    DAMAGE extension); only those meeting the given area
//   xwatch keys                      "<us> <keycode>": a key was pressed (XInput 2 raw events on
//                                    the root window, read by this one thread)
//   xwatch pty LINK                  "<us> <byte>": a byte arrived at a pseudo-terminal's other
//                                    end, whose program end LINK links to (a trigger box's stand-in;
//                                    no X display needed); ends when the program closes its end
//
// The first two are what a second client sees: when a picture reached the window, and the floor
// of key latency that no program on this machine can beat; the third when a trigger code reached
// the box.
#include <xcb/damage.h>
#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <pthread.h>
#include <pty.h>
#include <sched.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

long long monotonicUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000LL + ts.tv_nsec / 1000;
}

int usage() {
    std::fprintf(stderr, "usage: xwatch damage WINDOW [X Y W H] | xwatch keys | xwatch pty LINK\n");
    return 2;
}

int watchDamage(xcb_connection_t *c, xcb_window_t window, int x, int y, int w, int h) {
    const xcb_query_extension_reply_t *ext = xcb_get_extension_data(c, &xcb_damage_id);
    if (!ext || !ext->present) {
        std::fprintf(stderr, "xwatch: no DAMAGE extension\n");
        return 1;
    }
    std::free(xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr));
    const xcb_damage_damage_t damage = xcb_generate_id(c);
    xcb_damage_create(c, damage, window, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
    xcb_flush(c);
    std::printf("ready\n");
    std::fflush(stdout);
    while (xcb_generic_event_t *event = xcb_wait_for_event(c)) {
        const long long now = monotonicUs();
        if ((event->response_type & 0x7f) == ext->first_event + XCB_DAMAGE_NOTIFY) {
            const auto *d = reinterpret_cast<const xcb_damage_notify_event_t *>(event);
            const auto &a = d->area;
            const bool meets =
                w <= 0 || (a.x < x + w && x < a.x + a.width && a.y < y + h && y < a.y + a.height);
            if (meets) {
                std::printf("%lld %d %d %d %d\n", now, a.x, a.y, a.width, a.height);
                std::fflush(stdout);
            }
        }
        std::free(event);
    }
    return 0;
}

int watchKeys(xcb_connection_t *c, xcb_window_t root) {
    const xcb_query_extension_reply_t *ext = xcb_get_extension_data(c, &xcb_input_id);
    if (!ext || !ext->present) {
        std::fprintf(stderr, "xwatch: no XInput extension\n");
        return 1;
    }
    std::free(xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
    struct {
        xcb_input_event_mask_t head;
        uint32_t mask;
    } select{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS};
    xcb_input_xi_select_events(c, root, 1, &select.head);
    xcb_flush(c);
    std::printf("ready\n");
    std::fflush(stdout);
    while (xcb_generic_event_t *event = xcb_wait_for_event(c)) {
        const long long now = monotonicUs();
        const auto *ge = reinterpret_cast<const xcb_ge_generic_event_t *>(event);
        if ((event->response_type & 0x7f) == XCB_GE_GENERIC && ge->extension == ext->major_opcode &&
            ge->event_type == XCB_INPUT_RAW_KEY_PRESS) {
            const auto *key = reinterpret_cast<const xcb_input_raw_key_press_event_t *>(event);
            std::printf("%lld %u\n", now, key->detail);
            std::fflush(stdout);
        }
        std::free(event);
    }
    return 0;
}

int watchPty(const char *link) {
    int box = -1;
    int program = -1;
    char name[256];
    if (openpty(&box, &program, name, nullptr, nullptr) != 0) {
        std::perror("xwatch: openpty");
        return 1;
    }
    termios t{};
    tcgetattr(box, &t);
    cfmakeraw(&t);
    tcsetattr(box, TCSANOW, &t);
    unlink(link);
    if (symlink(name, link) != 0) {
        std::perror("xwatch: symlink");
        return 1;
    }
    // The program's end stays open here too, so that a program closing its own does not end the
    // watch between two runs; the watch ends when it is stopped.
    std::printf("ready\n");
    std::fflush(stdout);
    unsigned char bytes[256];
    for (;;) {
        const ssize_t n = read(box, bytes, sizeof bytes);
        const long long now = monotonicUs();
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; ++i)
            std::printf("%lld %u\n", now, unsigned(bytes[i]));
        std::fflush(stdout);
    }
    unlink(link);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2)
        return usage();
    // Read each event as it comes, ahead of the programs it watches, where the account may
    // raise its priority: the watcher's own delay is then not taken for theirs.
    sched_param priority{};
    priority.sched_priority = 2;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority);
    if (argc == 3 && std::string(argv[1]) == "pty")
        return watchPty(argv[2]);
    int screenNumber = 0;
    xcb_connection_t *c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "xwatch: cannot open display\n");
        return 1;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    const std::string mode = argv[1];
    if (mode == "damage" && (argc == 3 || argc == 7)) {
        const auto window = static_cast<xcb_window_t>(std::strtoul(argv[2], nullptr, 0));
        if (argc == 7)
            return watchDamage(c, window, std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]),
                               std::atoi(argv[6]));
        return watchDamage(c, window, 0, 0, 0, 0);
    }
    if (mode == "keys" && argc == 2)
        return watchKeys(c, screens.data->root);
    return usage();
}
