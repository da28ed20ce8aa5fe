#pragma once

namespace kivora {

// Returns once the window system has carried out everything sent to it so far — after a
// repaint, once the new picture is in the frame buffer. On X11 this is one round trip to the
// server. Unlike QGuiApplication::sync() it dispatches no events, so no key or timer handler
// can run in the middle of the caller's handler.
void waitForWindowSystem();

} // namespace kivora
