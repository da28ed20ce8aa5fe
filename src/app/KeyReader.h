#pragma once

#include <memory>
#include <thread>

namespace kivora {

class KeyStamps;

// Stamps every key press of the X display as it arrives: a thread of its own, with a
// connection of its own, reads the XInput 2 raw key presses of the root window and adds each to
// the stamps with a CLOCK_MONOTONIC reading, before Qt's event path (its reader thread, then
// the main thread) has even seen the key.
class KeyReader {
public:
    // Starts the reader, or returns nothing when the display offers no XInput 2.2 (the key
    // handler then keeps its own clock reading).
    static std::unique_ptr<KeyReader> start(KeyStamps &stamps);
    ~KeyReader();
    KeyReader(const KeyReader &) = delete;
    KeyReader &operator=(const KeyReader &) = delete;

private:
    struct Connection;
    KeyReader(std::unique_ptr<Connection> connection, KeyStamps &stamps);
    void run();

    std::unique_ptr<Connection> m_connection;
    KeyStamps &m_stamps;
    int m_stopFd = -1; // written to when the reader is to end
    std::thread m_thread;
};

} // namespace kivora
