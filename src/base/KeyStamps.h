#pragma once

#include <QtGlobal>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace kivora {

// When each key press happened, stamped where it was first seen rather than where the key
// handler gets to it. A reader thread adds presses as it reads them; the key handler takes the
// stamp of the press it is handling. Only recent presses are kept, and a key code only until
// its press is taken or falls out: nothing else of the keyboard is kept.
//
// A press is matched by its key code, the platform's number of the physical key as
// QKeyEvent::nativeScanCode() gives it (the X11 key code; on Windows the scan code, with 0x100
// for an extended key) and as the key reader stamps it: the
// earliest press of that code not taken yet, stamped no later than WaitUs after the handler saw
// it, not older than notBeforeUs and not more than MaxDelayUs before the handler saw it. Every
// key event the handler sees takes its press, so presses are used up in the order they
// happened; the two bounds keep out presses that never reached the handler (typed into another
// window, say). The reader and the handler learn of the same press on different threads, and
// the reader is usually, not always, first: when it comes second, its stamp is later than the
// handler's own reading, and the handler's reading is the better one (KeyStamps::earlier).
class KeyStamps {
public:
    // Holds at most this many presses; the oldest fall out first.
    static constexpr std::size_t Capacity = 64;
    // A press reaches the key handler well within this (µs), or it is not the press handled.
    static constexpr qint64 MaxDelayUs = 500'000;
    // How long the handler waits for the reader to stamp the press it is handling (µs): the
    // two learn of the same press on different threads (X11: from the X server; Windows: Raw
    // Input and the window's key message), and the reader is usually, not always, first.
    static constexpr qint64 WaitUs = 5'000;

    // Called by the reader (any thread) once it reads the key presses: until then the handler
    // does not wait for stamps.
    void setFed(bool fed);
    // Called by the reader (any thread): a press of keyCode seen at clock reading us.
    void add(quint32 keyCode, qint64 us);
    // Called by the key handler, which saw the key at clock reading handledUs: the stamp of the
    // press it is handling, used up, or nothing when no press of that key was seen (no reader,
    // or the press came another way). The stamp may be up to WaitUs later than handledUs.
    std::optional<qint64> take(quint32 keyCode, qint64 notBeforeUs, qint64 handledUs);
    // When the press happened: the earlier of its stamp and the handler's own reading.
    static qint64 earlier(std::optional<qint64> stampUs, qint64 handledUs) {
        return stampUs ? std::min(*stampUs, handledUs) : handledUs;
    }

private:
    struct Press {
        quint32 keyCode;
        qint64 us;
    };
    std::mutex m_mutex;
    std::condition_variable m_added;
    std::deque<Press> m_presses; // in the order seen
    bool m_fed = false;
};

} // namespace kivora
