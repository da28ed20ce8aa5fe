#pragma once

#include <QString>

class QScreen;

namespace kivora {

// The monitors as the system tells them, for choosing the participant's (--screen) and listing
// them (--list-screens).

// A monitor's manufacturer and model ("Dell Inc. DELL U2412M"), empty where the system does not
// tell them.
QString modelOf(const QScreen *screen);

// One line per monitor, under a heading: its name, manufacturer and model, size in pixels,
// refresh rate, scaling and whether it is the primary one.
QString screenList();

// The monitor named by wanted: its name as the system gives it (QScreen::name(): an X11 RandR
// output such as HDMI-1, on Windows a device name such as \\.\DISPLAY2, which can change between
// reboots), else its model or its manufacturer and model, where only one monitor has it (the
// stable choice). Letters' case plays no part. Nothing, and in *why what is wrong, where no
// monitor or more than one has it.
QScreen *screenNamed(const QString &wanted, QString *why);

} // namespace kivora
