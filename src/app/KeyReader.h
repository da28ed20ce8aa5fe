#pragma once

#include <memory>

namespace kivora {

class KeyStamps;

// Stamps every key press as it arrives, before the key reaches the main window's key handler
// through the toolkit's event path, and adds it to the stamps.
//
// On X11 a thread of its own, with a connection of its own, reads the XInput 2 raw key presses
// of the root window and stamps each with a CLOCK_MONOTONIC reading, before Qt's event path (its
// reader thread, then the main thread) has even seen the key. Elsewhere there is no reader: the
// key handler's own clock reading stands.
class KeyReader {
public:
    // Starts a reader, or returns nothing where there is none (not X11). The reader connects on
    // its own thread; where the X display offers no XInput 2.1 it ends at once, and the key
    // handler keeps its own clock reading.
    static std::unique_ptr<KeyReader> start(KeyStamps &stamps);
    virtual ~KeyReader() = default;
};

} // namespace kivora
