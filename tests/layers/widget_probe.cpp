// Compiled with the core library's settings by the core_rejects_widgets test, which expects
// this file to fail: the core must not reach Qt Widgets.
#include <QtWidgets/QPushButton>

int probe() {
    return QPushButton().isDefault() ? 1 : 0;
}
