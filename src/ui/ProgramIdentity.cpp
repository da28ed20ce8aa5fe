#include "ui/ProgramIdentity.h"

#include <QDir>
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
    // Every size the build made (each PNG tells its own).
    const QDir icons(u":/icons"_qs);
    for (const QString &file : icons.entryList({u"kivora-*.png"_qs}, QDir::Files))
        icon.addFile(icons.filePath(file));
    return icon;
}

void setProgramIdentity() {
    QGuiApplication::setApplicationName(u"Kivora"_qs);
    QGuiApplication::setDesktopFileName(u"kivora"_qs);
    QGuiApplication::setWindowIcon(programIcon());
}

} // namespace kivora
