#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace kivora {

// How the pictures reach the screen, and how far the onsets the program logs can be trusted.
// Each value has one word, the word the log's display line, the data rows and the report use.

// mode=: in step with the display's refresh ("present") or painted when a stage timer fires
// ("timers").
enum class PresentMode { Present, Timers };

// onset=: where a screen's onset comes from.
//   Flip   the display's own time of the refresh a picture was flipped at (X Present)
//   Dxgi   the vblank a DXGI swap chain's frame statistics say a picture was shown at
//   Dwm    an estimate from the Windows desktop compositor's refresh grid
//   Flush  the moment the drawing reached the window system
enum class OnsetSource { Flip, Dxgi, Dwm, Flush };

// compositor=: whether a compositor stands between the window and the screen.
//   No        no compositing manager runs
//   Yes       a compositor composes the window (X11: redirects it; Windows: the desktop window
//             manager composes it), so its pictures reach the screen a compositor frame after
//             the display flipped them
//   Bypassed  a compositing manager runs and leaves this window alone (X11: not redirected;
//             Windows: the frame statistics say the frame went to the screen as an overlay)
//   Wayland   a Wayland session: the flips the program is told of are the Wayland compositor's
//   Unknown   it cannot be asked (an X server without the Composite extension, a window not on
//             screen)
enum class Compositor { No, Yes, Bypassed, Wayland, Unknown };

QString word(PresentMode mode);
QString word(OnsetSource source);
QString word(Compositor compositor);
// The value a word names; nothing for any other text.
std::optional<OnsetSource> onsetSourceNamed(QStringView word);
std::optional<Compositor> compositorNamed(QStringView word);
// Every word, for a refusal: "flip, dxgi, dwm, flush".
QString onsetSourceWords();
QString compositorWords();

// The rule: an onset is exact only when the display's own flip time is the moment the picture
// reaches the screen, that is, the onset is a flip time (X Present's, or a swap chain's frame
// statistics') and nothing composes the window after it.
bool onsetsExact(OnsetSource source, Compositor compositor);

// One line on why onsets of this kind are not exact, for the display check and the start-up
// notice; empty where they are.
QString whyNotExact(OnsetSource source, Compositor compositor);

// The monitor a window is shown on, as the window finds it.
struct ScreenFacts {
    bool fullscreen = false; // the window covers the whole monitor
    QString screen;          // the monitor's name as the system gives it (HDMI-1, \\.\DISPLAY2)
    QString model;           // its manufacturer and model, where the system tells them
};

// What the display offers a run, as a presenter finds it.
struct DisplayInfo {
    PresentMode mode = PresentMode::Timers;
    qint64 periodUs = 0; // the measured refresh period; 0 where none was measured
    Compositor compositor = Compositor::Unknown;
    quint32 window = 0; // the native window the pictures are presented in; 0 where none
    OnsetSource onset = OnsetSource::Flush;
    // The monitor the pictures are shown on (the window's, not the presenter's to find).
    ScreenFacts monitor;

    bool exact() const { return onsetsExact(onset, compositor); }
    // mode=... period_us=... compositor=... onset=... exact=... fullscreen=... screen=...
    // model=...: the words that tell a change of the display in the log (the native window stays
    // the same). Blanks in the monitor's name and model are written as "_", so that every word is
    // one key=value.
    QString words() const;
    // fullscreen=... screen=... model=...: the monitor's words alone.
    QString screenWords() const;
};

} // namespace kivora
