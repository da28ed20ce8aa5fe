#pragma once

#include "base/DisplayFacts.h"

#include <QtGlobal>
#include <functional>

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

// Whether a compositor stands between the native window (or the top-level window it lies in)
// and the screen, asked of the window system now. On X11: Wayland in a Wayland session (the
// environment names a Wayland display or the X server is XWayland); otherwise whether the X
// server redirects the window's top-level window (the window manager's frame, where there is
// one) — Yes where it does, Bypassed where a compositing manager runs (it owns the
// _NET_WM_CM_S<screen> selection) and leaves the window alone, No where none runs; Unknown where
// it cannot be asked (no Composite extension, the window not on screen, not X11). On Windows the
// desktop window manager composes every window: Yes (Unknown for no window).
Compositor compositorOf(quintptr nativeWindow);

// Asks a compositor to leave the window alone, for a window that covers a whole monitor: on X11
// the property _NET_WM_BYPASS_COMPOSITOR = 1 (mutter, KWin and picom honour it; whether they did
// is for compositorOf to say). Nothing on Windows.
void askCompositorBypass(quintptr nativeWindow);

// The platform the windows are shown on: X11 unless the user chose one in QT_QPA_PLATFORM. Qt
// would take its native Wayland platform in a Wayland session where its plugin is installed,
// and there is neither X Present nor the raw key reader. Call before the application object is
// made. Nothing on Windows.
void preferX11();

// Calls done once, right after widget's first paint has reached the window system (not when
// show() was called: the window is painted only once the window system has mapped it).
void onFirstPaint(QWidget *widget, std::function<void()> done);

// Whether the windows can be shown: on X11, whether the X server answers (Qt aborts without a
// word of ours when it cannot be reached, so start-up asks first). A Windows desktop is always
// there.
bool displayReachable();

} // namespace kivora
