#include "ui/ProgramIdentity.h"

#include <QGuiApplication>

// The icons are the resources of this library, which a static library does not register by
// itself.
static void initIconResources() {
    Q_INIT_RESOURCE(kivora_icons);
}

namespace kivora {

QIcon programIcon() {
    initIconResources();
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(u":/icons/kivora-%1.png"_qs.arg(size), QSize(size, size));
    return icon;
}

void setProgramIdentity() {
    QGuiApplication::setApplicationName(u"Kivora"_qs);
    QGuiApplication::setDesktopFileName(u"kivora"_qs);
    QGuiApplication::setWindowIcon(programIcon());
}

} // namespace kivora
