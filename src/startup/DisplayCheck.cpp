#include "startup/DisplayCheck.h"

#include "base/Clock.h"
#include "base/Fonts.h"
#include "base/KeyCodes.h"
#include "base/KeyStamps.h"
#include "base/StageTimer.h"
#include "base/Twips.h"
#include "platform/Console.h"
#include "platform/KeyReader.h"
#include "session/FlipFigures.h"
#include "session/TriggerCodes.h"
#include "session/TriggerSender.h"
#include "ui/DesignedWindow.h"
#include "ui/FramePresenter.h"
#include "ui/PictureBox.h"
#include "ui/TimersPresenter.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <vector>

namespace kivora {

namespace {

constexpr int FlipIntervalMs = 100;
constexpr int Flips = 100;        // about ten seconds
constexpr int KeyPresses = 3;     // the keys asked for
constexpr int KeyWaitMs = 8000;   // how long they are waited for
constexpr int ReadyWaitMs = 5000; // for the window to be shown and the display measured

QImage filled(bool white) {
    QImage picture(256, 256, QImage::Format_Mono);
    picture.fill(white ? 1 : 0);
    picture.setColor(0, qRgb(0, 0, 0));
    picture.setColor(1, qRgb(255, 255, 255));
    return picture;
}

// Runs the event loop until done() holds or ms have passed; whether done() held.
template <typename Done> bool waitFor(Done done, int ms) {
    QEventLoop loop;
    QTimer poll;
    poll.start(10);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
    return done();
}

QString ms(double us) {
    return QString::number(us / 1000.0, 'f', 3);
}

// The value below which a share q of values lie (nearest rank), µs.
qint64 quantile(std::vector<qint64> values, double q) {
    const auto rank = std::size_t(std::ceil(q * double(values.size()))) - 1;
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(rank), values.end());
    return values[rank];
}

// Every key 1 the window sees: how much earlier its stamp is than the key filter's reading.
class KeyOneWatch final : public QObject {
public:
    KeyOneWatch(KeyStamps *stamps, qint64 sinceUs) : m_stamps(stamps), m_sinceUs(sinceUs) {}
    int seen = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const qint64 filterUs = SteadyClock::instance().nowUs();
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->isAutoRepeat() || virtualKeyCode(*key) != VK_1)
            return true;
        ++seen;
        const std::optional<qint64> stamp =
            m_stamps ? m_stamps->take(key->nativeScanCode(), m_sinceUs, filterUs) : std::nullopt;
        if (stamp && *stamp <= filterUs)
            printOut(u"key 1: stamped %1 ms before the key filter's reading\n"_qs.arg(
                ms(double(filterUs - *stamp))));
        else if (stamp)
            printOut(u"key 1: stamped %1 ms after the key filter's reading, which stands\n"_qs.arg(
                ms(double(*stamp - filterUs))));
        else
            printOut(u"key 1: no stamp; the key filter's reading stands\n"_qs);
        return true;
    }

private:
    KeyStamps *m_stamps;
    qint64 m_sinceUs;
};

} // namespace

int checkDisplayCommand(std::optional<Timing> timing, QScreen *screen, bool fullscreen,
                        TriggerSender *triggers) {
    installFontSubstitutes();
    const Clock &clock = SteadyClock::instance();
    // The main window's size and picture area, shown the way a session shows it.
    DesignedWindow window(QSize(pxFromTwips(5280), pxFromTwips(4995)));
    window.setWindowTitle(QCoreApplication::translate("DisplayCheck", "Kivora display check"));
    auto *image = new PictureBox(window.panel());
    image->setGeometry(rectFromTwips(690, 120, 3900, 3900));
    auto *caption = new QLabel(window.panel());
    caption->setGeometry(rectFromTwips(120, 4080, 5040, 800));
    caption->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    caption->setWordWrap(true);
    caption->setFont(uiFont(12, false));
    caption->setText(QCoreApplication::translate(
        "DisplayCheck", "表示を確かめています。しばらくお待ちください。\n(checking the display)"));

    PresenterChoice choice = choosePresenter(timing, image);
    std::unique_ptr<Presenter> presenter = std::move(choice.presenter);
    if (choice.refused) {
        printErr(u"kivora: --timing present: "_qs + choice.why);
        return 1;
    }
    if (!presenter) {
        if (!choice.why.isEmpty())
            printOut(u"no presentation in step with the refresh: %1\n"_qs.arg(choice.why));
        presenter = std::make_unique<TimersPresenter>(&window, image, clock);
    }
    KeyStamps stamps;
    const std::unique_ptr<KeyReader> reader = KeyReader::start(stamps);

    window.showOn(screen, fullscreen);
    if (!waitFor([&] { return window.isVisible() && presenter->isReady(); }, ReadyWaitMs)) {
        printErr(u"kivora: the display did not report its refresh within %1 s"_qs.arg(ReadyWaitMs / 1000));
        return 1;
    }

    // The flips: each meant to stay its refreshes (or its interval where refreshes are not
    // counted) from the flip before it, its stage timer counting from that flip's onset.
    const QImage pictures[] = {filled(true), filled(false)};
    presenter->prepare({&pictures[0], &pictures[1]});
    const int frames = presenter->framesFor(FlipIntervalMs);
    std::vector<Onset> onsets;
    std::vector<qint64> triggerLagsUs;
    QString triggerLost;
    if (triggers) {
        QObject::connect(triggers, &TriggerSender::written, triggers,
                         [&](const TriggerWrite &write) { triggerLagsUs.push_back(write.lagUs); });
        QObject::connect(triggers, &TriggerSender::lost, triggers,
                         [&](qint16, const QString &reason, qint64) { triggerLost = reason; });
    }
    PreciseTimer timer;
    timer.setInterval(FlipIntervalMs);
    QObject::connect(presenter.get(), &Presenter::shown, &timer, [&](Stage, Onset onset) {
        if (triggers) // the code first, as a session sends it
            triggers->send(triggercode::CheckFlip, onset.us, 0);
        onsets.push_back(onset);
        timer.setLeadUs(presenter->leadUs(Stage::Cue, FlipIntervalMs));
        timer.countFrom(onset.us);
    });
    const auto flip = [&] {
        const QImage *picture = &pictures[onsets.size() % 2];
        const std::size_t before = onsets.size();
        presenter->show(Stage::Cue, picture, onsets.empty() ? 0 : frames,
                        [image, picture] { image->setPicture(picture); });
        if (onsets.size() < Flips) {
            if (onsets.size() == before)
                timer.startOnCountFrom(); // counts from the onset once the display tells it
            timer.setEnabled(true);
        }
    };
    QObject::connect(&timer, &StageTimer::Timer, &timer, [&] {
        timer.setEnabled(false);
        flip();
    });
    flip();
    waitFor([&] { return onsets.size() >= std::size_t(Flips); }, Flips * FlipIntervalMs * 3);
    timer.setEnabled(false);
    presenter->finish();
    // The last flip's code may wait for its onset, an estimate of a coming refresh.
    if (triggers)
        waitFor([&] { return triggerLagsUs.size() >= onsets.size() || !triggerLost.isEmpty(); }, 500);

    DisplayInfo info = presenter->displayInfo();
    info.monitor = window.screenFacts();
    const ScreenFacts &monitor = info.monitor;
    const FlipFigures f = flipFigures(onsets, frames);
    printOut(u"display check, kivora " KIVORA_VERSION "\n"_qs);
    printOut(u"mode: %1, onset source: %2\n"_qs.arg(word(info.mode), word(info.onset)));
    if (f.counted && std::isfinite(f.periodUs))
        printOut(u"refresh period: %1 ms (%2 Hz), jitter %3 ms\n"_qs.arg(ms(f.periodUs))
                     .arg(1e6 / f.periodUs, 0, 'f', 2)
                     .arg(ms(f.jitterUs)));
    else
        printOut(u"refresh period: not measured (the display gives no refresh counts)\n"_qs);
    const QString each = frames > 0 ? u"%1 refreshes"_qs.arg(frames) : u"%1 ms"_qs.arg(FlipIntervalMs);
    printOut(u"flips: %1, each meant to stay %2; at another refresh count: %3, late: %4\n"_qs.arg(f.flips)
                 .arg(each)
                 .arg(f.miscounted)
                 .arg(f.late));
    const double scaling = window.devicePixelRatioF() * 100.0;
    printOut(u"screen: %1 (%2), %3\n"_qs.arg(monitor.screen,
                                             monitor.model.isEmpty() ? u"no model"_qs : monitor.model,
                                             monitor.fullscreen ? u"fullscreen"_qs : u"in a window"_qs));
    printOut(u"compositor: %1; platform: %2; display scaling: %3 %\n"_qs.arg(word(info.compositor))
                 .arg(QGuiApplication::platformName())
                 .arg(std::lround(scaling)));
    if (triggers && !triggerLagsUs.empty())
        printOut(
            u"trigger: %1 codes 255 sent, lag median %2 ms, 99th percentile %3 ms\n"_qs
                .arg(triggerLagsUs.size())
                .arg(ms(double(quantile(triggerLagsUs, 0.5))), ms(double(quantile(triggerLagsUs, 0.99)))));
    if (!triggerLost.isEmpty())
        printOut(
            u"trigger: the port failed after %1 codes: %2\n"_qs.arg(triggerLagsUs.size()).arg(triggerLost));

    // The keys.
    printOut(u"key source: %1\n"_qs.arg(QString::fromLatin1(KeyReader::sourceOf(reader.get()))));
    printOut(u"press key 1 %1 times now\n"_qs.arg(KeyPresses));
    caption->setText(QCoreApplication::translate("DisplayCheck",
                                                 "1 のキーを %1 回押してください。\n(press key 1 %1 times)")
                         .arg(KeyPresses));
    window.activateWindow();
    KeyOneWatch keys(reader ? &stamps : nullptr, clock.nowUs());
    qApp->installEventFilter(&keys);
    if (!waitFor([&] { return keys.seen >= KeyPresses; }, KeyWaitMs) && keys.seen == 0)
        printOut(u"no key 1 came\n"_qs);
    qApp->removeEventFilter(&keys);

    // Exact: the onsets are the display's own times of the refreshes the pictures reached the
    // screen at (the rule), and every flip came at its planned refresh.
    const bool exact = info.exact() && f.exact();
    if (exact)
        printOut(u"onsets: exact (the display's own times of the refreshes the pictures came at)\n"_qs);
    else if (!info.exact())
        printOut(u"onsets: not exact: %1\n"_qs.arg(whyNotExact(info.onset, info.compositor)));
    else
        printOut(u"onsets: not exact: flips missed or at another refresh count than planned\n"_qs);
    return exact && triggerLost.isEmpty() ? 0 : 1;
}

} // namespace kivora
