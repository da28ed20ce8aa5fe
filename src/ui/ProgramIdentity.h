#pragma once

#include <QIcon>

namespace kivora {

// The program's icon in every size it is drawn in (the Qt resources :/icons/kivora-<N>.png).
QIcon programIcon();

// The program as the system shows it: the application's name "Kivora", the desktop entry it
// belongs to (kivora.desktop: a Linux desktop takes a running program's icon and name from it)
// and the icon of every window. Call once the application object exists.
void setProgramIdentity();

} // namespace kivora
