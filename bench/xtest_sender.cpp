// A resident key sender for timing measurements. It reads commands from stdin, one per line:
//   key <x11-keycode> <at_us>
// waits until CLOCK_MONOTONIC reaches at_us (microseconds; 0 = at once), reads the clock, sends
// the key press and release through XTest, flushes, and prints "<sent_us>" on stdout.
// Unlike an xdotool process per key, nothing is started or connected between the clock reading
// and the event reaching the X server.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {
long long monotonicUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000LL + ts.tv_nsec / 1000;
}

void waitUntil(long long targetUs) {
    // Sleep to shortly before the target, then spin: a sleep alone wakes up to ~0.1 ms late.
    const long long early = targetUs - 500;
    if (monotonicUs() < early) {
        timespec ts{};
        ts.tv_sec = early / 1000000LL;
        ts.tv_nsec = (early % 1000000LL) * 1000;
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
    }
    while (monotonicUs() < targetUs) {
    }
}
} // namespace

int main() {
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "xtest_sender: cannot open display\n");
        return 1;
    }
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
        std::fprintf(stderr, "xtest_sender: no XTest extension\n");
        return 1;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("ready\n");
    char line[256];
    while (std::fgets(line, sizeof line, stdin)) {
        unsigned keycode = 0;
        long long at = 0;
        if (std::sscanf(line, "key %u %lld", &keycode, &at) != 2) {
            if (std::strncmp(line, "quit", 4) == 0)
                break;
            std::printf("error\n");
            continue;
        }
        waitUntil(at);
        const long long sent = monotonicUs();
        XTestFakeKeyEvent(display, keycode, True, CurrentTime);
        XFlush(display);
        XTestFakeKeyEvent(display, keycode, False, 30); // released 30 ms later, as a finger would
        XFlush(display);
        std::printf("%lld\n", sent);
    }
    XCloseDisplay(display);
    return 0;
}
