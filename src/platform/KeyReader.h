#pragma once

#include <memory>

namespace kivora {

class KeyStamps;

// Stamps every key press as it arrives, before the key reaches the main window's key handler
// through the toolkit's event path, and adds it to the stamps.
//
// On X11 a thread of its own, with a connection of its own, reads the XInput 2 raw key presses
// of the root window and stamps each with a CLOCK_MONOTONIC reading, before Qt's event path (its
// reader thread, then the main thread) has even seen the key. On Windows a thread of its own,
// with a message-only window registered for the Raw Input of every keyboard, stamps each key
// press with a QueryPerformanceCounter reading as it reads its WM_INPUT, before the key's own
// message has gone through the main thread's queue and Qt's key mapping. Where there is no
// reader, the key handler's own clock reading stands.
class KeyReader {
public:
    // Starts a reader, or returns nothing where there is none (another platform plug-in than
    // X11's or Windows', or on Windows where Raw Input cannot be registered). The X11 reader
    // connects on its own thread; where the X display offers no XInput 2.1 it ends at once, and
    // the key handler keeps its own clock reading.
    static std::unique_ptr<KeyReader> start(KeyStamps &stamps);
    virtual ~KeyReader() = default;

    // Where the key times come from, for the log's display line: "rawinput" (Windows Raw
    // Input) or "xinput2" (X11) where this reader stamps the keys, "filter" where the key
    // handler's own clock reading stands (the reader could not read the keys). The X11 reader
    // knows within milliseconds of its start; asked before that, it waits for it (at most a
    // second, then says "filter").
    virtual const char *source() const = 0;
    // The same for a reader that may be missing: "filter" without one.
    static const char *sourceOf(const KeyReader *reader) { return reader ? reader->source() : "filter"; }
};

} // namespace kivora
