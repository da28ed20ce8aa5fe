#pragma once

#include <QtGlobal>
#include <deque>
#include <mutex>
#include <optional>

namespace kivora {

// When each key press happened, stamped where it was first seen rather than where the key
// handler gets to it. A reader thread adds presses as it reads them; the key handler takes the
// stamp of the press it is handling. Only recent presses are kept, and a key code only until
// its press is taken or falls out: nothing else of the keyboard is kept.
//
// A press is matched by its key code (the X key code, QKeyEvent::nativeScanCode()): the
// earliest press of that code not taken yet and not older than notBeforeUs. Every key event the
// handler sees takes its press, so presses are used up in the order they happened; notBeforeUs
// keeps out presses that never reached the handler (typed into another window, say).
class KeyStamps {
public:
    // Holds at most this many presses; the oldest fall out first.
    static constexpr std::size_t Capacity = 64;

    // Called by the reader (any thread): a press of keyCode seen at clock reading us.
    void add(quint32 keyCode, qint64 us);
    // Called by the key handler: the stamp of the press it is handling, or nothing when no
    // press of that key was seen (no reader, or the press came another way).
    std::optional<qint64> take(quint32 keyCode, qint64 notBeforeUs);

private:
    struct Press {
        quint32 keyCode;
        qint64 us;
    };
    std::mutex m_mutex;
    std::deque<Press> m_presses; // in the order seen
};

} // namespace kivora
