#pragma once

#include <functional>
#include <optional>

class QWidget;

namespace kivora {

// Returns once the window system has carried out everything sent to it so far — after a
// repaint, once the new picture is in the frame buffer. On X11 this is one round trip to the
// server; on Windows the GDI batch is flushed, after which the desktop compositor shows the
// picture at its next refresh. Unlike QGuiApplication::sync() it dispatches no events, so no key
// or timer handler can run in the middle of the caller's handler.
void waitForWindowSystem();

// Paints what changed in window (and its children) now and returns once the window system has
// it. Only paint requests are handled: no key or timer handler runs in the middle of the caller.
void repaintNow(QWidget *window);

// Whether a compositing manager runs on the display (it owns the _NET_WM_CM_S<screen>
// selection), so that a window's pictures reach the screen one compositor frame after they are
// drawn. On X11 the selection's owner says, nothing where the display cannot be asked (not X11,
// offscreen); on Windows always, its desktop window manager composes every window.
std::optional<bool> compositorActive();

// Calls done once, right after widget's first paint has reached the window system (not when
// show() was called: the window is painted only once the window system has mapped it).
void onFirstPaint(QWidget *widget, std::function<void()> done);

// Whether the windows can be shown: on X11, whether the X server answers (Qt aborts without a
// word of ours when it cannot be reached, so start-up asks first). A Windows desktop is always
// there.
bool displayReachable();

} // namespace kivora
