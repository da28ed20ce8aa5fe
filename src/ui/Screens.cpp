#include "ui/Screens.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace kivora {

QString modelOf(const QScreen *screen) {
    return (screen->manufacturer() + u' ' + screen->model()).trimmed();
}

QString screenList() {
    QString out = u"monitors (name, manufacturer and model, size, refresh rate, scaling):\n"_qs;
    for (const QScreen *s : QGuiApplication::screens()) {
        const QSize px = s->geometry().size() * s->devicePixelRatio();
        const QString model = modelOf(s);
        out += u"  %1  %2  %3x%4 px  %5 Hz  %6 %%7\n"_qs
                   .arg(s->name(), model.isEmpty() ? u"(no model)"_qs : model)
                   .arg(px.width())
                   .arg(px.height())
                   .arg(s->refreshRate(), 0, 'f', 2)
                   .arg(std::lround(s->devicePixelRatio() * 100))
                   .arg(s == QGuiApplication::primaryScreen() ? u"  primary"_qs : QString());
    }
    return out;
}

QScreen *screenNamed(const QString &wanted, QString *why) {
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (QScreen *s : screens)
        if (s->name().compare(wanted, Qt::CaseInsensitive) == 0)
            return s;
    QList<QScreen *> models;
    for (QScreen *s : screens)
        if (!s->model().isEmpty() && (s->model().compare(wanted, Qt::CaseInsensitive) == 0 ||
                                      modelOf(s).compare(wanted, Qt::CaseInsensitive) == 0))
            models << s;
    if (models.size() == 1)
        return models.first();
    *why = models.isEmpty()
               ? u"no monitor is named '%1'"_qs.arg(wanted)
               : u"'%1' is the model of %2 monitors: name one of them by its name"_qs.arg(wanted).arg(
                     models.size());
    return nullptr;
}

} // namespace kivora
