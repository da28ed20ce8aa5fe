#include "ui/FramePresenter.h"

#include "base/Clock.h"
#include "base/LineFit.h"
#include "platform/WindowSystem.h"
#include "ui/PictureBox.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QSocketNotifier>
#include <QWindow>
#include <functional>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <poll.h>
#include <vector>
#include <xcb/present.h>
#include <xcb/xcb.h>

namespace kivora {

namespace {

template <typename Reply> std::unique_ptr<Reply, decltype(&std::free)> owned(Reply *reply) {
    return {reply, &std::free};
}

// The format of a window of the given visual and depth, when it is one this presenter can fill:
// 8 bits per colour in a 32-bit pixel, red above green above blue.
bool fillable(const xcb_setup_t *setup, xcb_visualid_t visual, quint8 depth, QString *why) {
    bool bits32 = false;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
        if (f.data->depth == depth && f.data->bits_per_pixel == 32)
            bits32 = true;
    bool masks = false;
    for (auto s = xcb_setup_roots_iterator(setup); s.rem; xcb_screen_next(&s))
        for (auto d = xcb_screen_allowed_depths_iterator(s.data); d.rem; xcb_depth_next(&d))
            for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
                if (v.data->visual_id == visual)
                    masks = v.data->red_mask == 0xff0000 && v.data->green_mask == 0xff00 &&
                            v.data->blue_mask == 0xff;
    if (!bits32 || !masks) {
        if (why)
            *why = u"the window's pixel format (depth %1) is not 8 bits per colour in 32-bit pixels"_qs.arg(
                depth);
        return false;
    }
    return true;
}

qint64 nowUs() {
    return SteadyClock::instance().nowUs();
}

} // namespace

// Presents the pictures in step with the display's refresh, through the X Present extension.
//
// The picture area of the picture control becomes a native X window of its own. Every picture
// is uploaded once, before it is needed, into a server-side pixmap in that window's format, and
// shown with PresentPixmap at a target refresh (MSC): it appears whole from that refresh on,
// never torn. The server's PresentCompleteNotify says when: its UST (CLOCK_MONOTONIC, µs) is the
// onset that the log records and the reaction time counts from.
//
// A screen meant to last an interval lasts N = max(1, round(interval / period)) refreshes,
// counted from the flip of the screen before it, whatever moment its handler ran at; a flip
// that completes after its target refresh is reported as late, and the screens after it keep
// their own lengths. The refresh period is measured once the window is shown, from 31 refreshes
// (about half a second); a run waits for it.
//
// What the window changes with a picture (its caption) changes when the picture is on screen,
// never before.
//
// Uses a connection of its own, watched by the event loop, so that the completion events come
// straight to it.
class XPresentPresenter final : public Presenter {
public:
    // Makes the picture area of image a native window and takes over its pictures. Throws
    // DisplayError, saying why, when the display cannot be used (no Present 1.0 or later, a
    // window format it cannot fill).
    explicit XPresentPresenter(PictureBox *image);
    ~XPresentPresenter() override;

    void show(Stage stage, const QImage *picture, int frames, std::function<void()> withPicture) override;
    void prepare(std::initializer_list<const QImage *> pictures) override;
    void finish() override;
    int framesFor(qint32 intervalMs) const override;
    qint64 leadUs(Stage next, qint32 intervalMs) const override;
    bool isReady() const override { return m_periodUs > 0; }
    bool displayMoved() override;
    void waitUntilReady() override;
    DisplayInfo displayInfo() const override;

    // Refreshes the period is measured from.
    static constexpr int MeasuredRefreshes = 31;

private:
    // A screen on its way to the display.
    struct Pending {
        quint32 serial;
        Stage stage;
        const QImage *picture;
        std::function<void()> withPicture;
        qint64 targetMsc; // -1: as soon as possible
    };

    void exposed();
    void startMeasuring();
    // Handles every event that has arrived; with waitMs > 0 first waits up to that long for one.
    void readEvents(int waitMs = 0);
    void completed(quint32 serial, quint8 kind, quint8 mode, qint64 ust, qint64 msc);
    quint32 pixmapFor(const QImage *picture);
    void upload(quint32 pixmap, const QImage &frame);
    void present(quint32 pixmap, quint32 serial, qint64 targetMsc);

    xcb_connection_t *m_c = nullptr;
    xcb_special_event *m_events = nullptr;
    QSocketNotifier *m_notifier = nullptr;
    PictureBox *m_image;
    QWindow *m_surface = nullptr;
    quint32 m_window = 0;
    quint32 m_gc = 0;
    quint8 m_depth = 0;
    qsizetype m_maxRequestBytes = 0;
    bool m_swapBytes = false; // the server wants pixels most significant byte first
    bool m_exposed = false;

    QHash<qint64, quint32> m_pixmaps;   // picture cache key (0: no picture) -> pixmap
    const QImage *m_onScreen = nullptr; // the picture of the last flip
    quint32 m_serial = 0;
    std::deque<Pending> m_pending;
    qint64 m_lastMsc = -1; // refresh of the last flip

    // Measuring the period: msc and ust of the refreshes seen so far.
    quint32 m_measureSerial = 0;
    std::vector<double> m_refreshMsc;
    std::vector<double> m_refreshUst;
    qint64 m_periodUs = 0; // 0 until measured
    bool m_measuring =
        false; // the period is being measured (again, after a move: the old one stands meanwhile)
};

std::unique_ptr<Presenter> makeFramePresenter(PictureBox *image, QString *why) {
    if (QGuiApplication::platformName() != u"xcb"_qs) {
        *why = u"the platform %1 is not X11"_qs.arg(QGuiApplication::platformName());
        return nullptr;
    }
    try {
        return std::make_unique<XPresentPresenter>(image);
    } catch (const DisplayError &e) {
        *why = e.detail();
        return nullptr;
    }
}

std::unique_ptr<Presenter> makeFlipPresenter(PictureBox *, QString *why) {
    *why = u"the DXGI flip model is Windows' own"_qs;
    return nullptr;
}

XPresentPresenter::XPresentPresenter(PictureBox *image) : m_image(image) {
    m_c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(m_c)) {
        xcb_disconnect(m_c);
        throw DisplayError(u"the X display cannot be reached"_qs);
    }
    const auto fail = [this](const QString &why) {
        xcb_disconnect(std::exchange(m_c, nullptr));
        throw DisplayError(why);
    };
    const xcb_query_extension_reply_t *ext = xcb_get_extension_data(m_c, &xcb_present_id);
    if (!ext || !ext->present)
        fail(u"the X display has no Present extension"_qs);
    const auto version = owned(xcb_present_query_version_reply(
        m_c, xcb_present_query_version(m_c, XCB_PRESENT_MAJOR_VERSION, XCB_PRESENT_MINOR_VERSION), nullptr));
    if (!version)
        fail(u"the X display's Present extension does not answer"_qs);
    // Qt's windows take the screen's own visual: it must be one whose pixels this presenter can fill.
    const xcb_setup_t *setup = xcb_get_setup(m_c);
    const xcb_screen_t *screen = xcb_setup_roots_iterator(setup).data;
    QString why;
    if (!fillable(setup, screen->root_visual, screen->root_depth, &why))
        fail(why);
    m_swapBytes = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;

    m_surface = image->makeSurface([this] { exposed(); });
}

XPresentPresenter::~XPresentPresenter() {
    delete m_notifier;
    if (m_events)
        xcb_unregister_for_special_event(m_c, m_events);
    if (m_c) {
        for (const quint32 pixmap : std::as_const(m_pixmaps))
            xcb_free_pixmap(m_c, pixmap);
        if (m_gc)
            xcb_free_gc(m_c, m_gc);
        xcb_disconnect(m_c);
    }
}

void XPresentPresenter::exposed() {
    if (!m_window) {
        // The window exists on the server once Qt's own connection has sent what it has.
        m_window = quint32(m_surface->winId());
        waitForWindowSystem();
        const auto attributes =
            owned(xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, m_window), nullptr));
        const auto geometry = owned(xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, m_window), nullptr));
        QString why;
        if (!attributes || !geometry)
            throw DisplayError(u"the picture window cannot be read"_qs);
        if (!fillable(xcb_get_setup(m_c), attributes->visual, geometry->depth, &why))
            throw DisplayError(why);
        m_depth = geometry->depth;
        // Nothing but presented pictures: the server must not clear the window when it is
        // uncovered; the picture is presented again instead.
        const quint32 none = XCB_BACK_PIXMAP_NONE;
        xcb_change_window_attributes(m_c, m_window, XCB_CW_BACK_PIXMAP, &none);
        m_gc = xcb_generate_id(m_c);
        xcb_create_gc(m_c, m_gc, m_window, 0, nullptr);
        const quint32 eid = xcb_generate_id(m_c);
        xcb_present_select_input(m_c, eid, m_window, XCB_PRESENT_EVENT_MASK_COMPLETE_NOTIFY);
        m_events = xcb_register_for_special_xge(m_c, &xcb_present_id, eid, nullptr);
        // Asked once here: the first call waits for the server's answer.
        m_maxRequestBytes = qsizetype(xcb_get_maximum_request_length(m_c)) * 4;
        m_notifier = new QSocketNotifier(xcb_get_file_descriptor(m_c), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] { readEvents(); });
    }
    m_exposed = true;
    // The window's contents were lost where it was covered: the picture on screen comes back at
    // the next refresh. It is no screen of its own (the next screen still counts its refreshes
    // from the last one), and where a screen is on its way that one repaints the window instead:
    // a second picture due at the same refresh would cover it.
    if (m_pending.empty())
        present(pixmapFor(m_onScreen), ++m_serial, -1);
    if (m_measureSerial == 0)
        startMeasuring();
    readEvents();
}

void XPresentPresenter::startMeasuring() {
    m_measuring = true;
    m_refreshMsc.clear();
    m_refreshUst.clear();
    m_measureSerial = ++m_serial;
    // The next refresh first; the following ones are asked for once its number is known.
    xcb_present_notify_msc(m_c, m_window, m_measureSerial, 0, 1, 0);
    xcb_flush(m_c);
}

void XPresentPresenter::show(Stage stage, const QImage *picture, int frames,
                             std::function<void()> withPicture) {
    if (!m_exposed) {
        // Not on screen yet (the load step, before the window is shown): the picture comes with
        // the window's first exposure.
        m_onScreen = picture;
        withPicture();
        emit shown(stage, Onset{nowUs()});
        return;
    }
    // A screen that lasts some refreshes counts them from the flip of the screen before it.
    readEvents();
    if (frames > 0 && !m_pending.empty())
        finish();
    qint64 target = -1;
    if (frames > 0 && m_lastMsc >= 0) {
        target = m_lastMsc + frames;
    } else {
        // As soon as possible, but not before a screen still on its way, which would then cover it.
        for (const Pending &p : m_pending)
            target = std::max(target, p.targetMsc);
    }
    const quint32 serial = ++m_serial;
    m_pending.push_back({serial, stage, picture, std::move(withPicture), target});
    present(pixmapFor(picture), serial, target);
    readEvents();
}

void XPresentPresenter::present(quint32 pixmap, quint32 serial, qint64 targetMsc) {
    // A target of 0 with divisor 1: the next refresh. COPY: the pixmap stays ours, whether the
    // server would flip to it or not.
    const bool asap = targetMsc < 0;
    xcb_present_pixmap(m_c, m_window, pixmap, serial, 0, 0, 0, 0, 0, 0, 0, XCB_PRESENT_OPTION_COPY,
                       asap ? 0 : quint64(targetMsc), asap ? 1 : 0, 0, 0, nullptr);
    xcb_flush(m_c);
}

// Every call that talks to the server may read events into xcb's queue on the way, after which
// the socket no longer wakes the event loop for them: each such call ends here.
void XPresentPresenter::readEvents(int waitMs) {
    const auto drain = [this] {
        bool any = false;
        // Errors of our own requests end up here; they are reported, never fatal to a run.
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_c)) {
            if (event->response_type == 0) {
                const auto *error = reinterpret_cast<xcb_generic_error_t *>(event);
                std::fprintf(stderr, "kivora: X error %d (request %d) in the picture window\n",
                             int(error->error_code), int(error->major_code));
            }
            std::free(event);
        }
        if (!m_events)
            return any;
        while (xcb_generic_event_t *event = xcb_poll_for_special_event(m_c, m_events)) {
            const auto *ge = reinterpret_cast<xcb_ge_generic_event_t *>(event);
            if (ge->event_type == XCB_PRESENT_EVENT_COMPLETE_NOTIFY) {
                const auto *e = reinterpret_cast<xcb_present_complete_notify_event_t *>(event);
                completed(e->serial, e->kind, e->mode, qint64(e->ust), qint64(e->msc));
                any = true;
            }
            std::free(event);
        }
        return any;
    };
    if (drain() || waitMs <= 0)
        return;
    pollfd fd{xcb_get_file_descriptor(m_c), POLLIN, 0};
    if (::poll(&fd, 1, waitMs) > 0)
        drain();
}

void XPresentPresenter::completed(quint32 serial, quint8 kind, quint8 mode, qint64 ust, qint64 msc) {
    if (kind == XCB_PRESENT_COMPLETE_KIND_NOTIFY_MSC) {
        if (serial != m_measureSerial || !m_measuring)
            return;
        m_refreshMsc.push_back(double(msc));
        m_refreshUst.push_back(double(ust));
        if (m_refreshMsc.size() == 1) {
            for (int i = 1; i <= MeasuredRefreshes; ++i)
                xcb_present_notify_msc(m_c, m_window, m_measureSerial, quint64(msc + i), 0, 0);
            xcb_flush(m_c);
            return;
        }
        if (m_refreshMsc.size() < std::size_t(MeasuredRefreshes) + 1)
            return;
        // The least-squares slope of UST over MSC: one late notification moves it little.
        const double slope = fitLine(m_refreshMsc, m_refreshUst).slope;
        m_measuring = false;
        if (std::isfinite(slope))
            m_periodUs = std::max<qint64>(1, std::llround(slope));
        if (m_periodUs > 0)
            emit ready();
        return;
    }

    const auto it = std::find_if(m_pending.begin(), m_pending.end(),
                                 [serial](const Pending &p) { return p.serial == serial; });
    if (it == m_pending.end())
        return; // a picture shown again after the window was uncovered
    const Pending p = std::move(*it);
    m_pending.erase(it);
    // Skipped: covered by a later picture due at the same refresh (Stop during a stage). It
    // counts as shown at that refresh, so that nothing waits for it for ever.
    if (mode != XCB_PRESENT_COMPLETE_MODE_SKIP)
        m_onScreen = p.picture;
    m_lastMsc = msc;
    p.withPicture();
    emit shown(p.stage, Onset{ust, msc, p.targetMsc});
}

void XPresentPresenter::finish() {
    QElapsedTimer waited;
    waited.start();
    while (!m_pending.empty()) {
        if (waited.elapsed() > 1000) {
            // The display stopped answering (the window unmapped, the server stalled): the
            // screens count from now rather than the run hanging.
            std::fprintf(stderr, "kivora: the display did not confirm a picture within 1 s\n");
            while (!m_pending.empty()) {
                const Pending p = std::move(m_pending.front());
                m_pending.pop_front();
                p.withPicture();
                emit shown(p.stage, Onset{nowUs()});
            }
            return;
        }
        readEvents(50);
    }
}

bool XPresentPresenter::displayMoved() {
    // The monitor it is on now may refresh at another rate: measured again from its refreshes,
    // the old period standing for the screens shown meanwhile.
    if (!m_window)
        return false;
    startMeasuring();
    return true;
}

void XPresentPresenter::waitUntilReady() {
    QElapsedTimer waited;
    waited.start();
    while (!isReady() && waited.elapsed() < 3000)
        readEvents(50);
    if (!isReady())
        throw DisplayError(u"the display did not report its refresh (start with --timing timers)"_qs);
}

int XPresentPresenter::framesFor(qint32 intervalMs) const {
    return refreshesFor(intervalMs, m_periodUs);
}

qint64 XPresentPresenter::leadUs(Stage, qint32 intervalMs) const {
    return refreshLeadUs(intervalMs, m_periodUs);
}

DisplayInfo XPresentPresenter::displayInfo() const {
    DisplayInfo info;
    info.mode = PresentMode::Present;
    info.periodUs = m_periodUs;
    info.compositor = compositorOf(m_window);
    info.window = m_window;
    info.onset = OnsetSource::Flip;
    return info;
}

void XPresentPresenter::prepare(std::initializer_list<const QImage *> pictures) {
    // Keep the empty picture, the one on screen, those on their way and the ones asked for; the
    // rest go (a pixmap the server still shows stays alive on the server until replaced).
    QHash<qint64, quint32> keep;
    const auto keepFor = [&](const QImage *picture) {
        const qint64 key = picture ? picture->cacheKey() : 0;
        if (const auto it = m_pixmaps.constFind(key); it != m_pixmaps.cend())
            keep.insert(key, *it);
    };
    keepFor(nullptr);
    keepFor(m_onScreen);
    for (const Pending &p : m_pending)
        keepFor(p.picture);
    for (const QImage *picture : pictures)
        keepFor(picture);
    for (auto it = m_pixmaps.cbegin(); it != m_pixmaps.cend(); ++it)
        if (!keep.contains(it.key()))
            xcb_free_pixmap(m_c, *it);
    m_pixmaps.swap(keep);
    if (!m_window)
        return; // uploaded once the window exists
    for (const QImage *picture : pictures)
        pixmapFor(picture);
    xcb_flush(m_c);
    readEvents();
}

quint32 XPresentPresenter::pixmapFor(const QImage *picture) {
    const qint64 key = picture ? picture->cacheKey() : 0;
    if (const auto it = m_pixmaps.constFind(key); it != m_pixmaps.cend())
        return *it;
    // The whole picture area in device pixels: the window's own colour, the picture centred at
    // a whole pixel, one picture pixel to one screen pixel (as the picture control paints it).
    const qreal dpr = m_surface->devicePixelRatio();
    const QSize size(int(std::lround(m_surface->width() * dpr)), int(std::lround(m_surface->height() * dpr)));
    QImage frame(size, QImage::Format_RGB32);
    frame.fill(m_image->palette().color(QPalette::Window));
    if (picture && !picture->isNull()) {
        QPainter p(&frame);
        p.drawImage((size.width() - picture->width()) / 2, (size.height() - picture->height()) / 2,
                    picture->convertToFormat(QImage::Format_RGB32));
    }
    const quint32 pixmap = xcb_generate_id(m_c);
    xcb_create_pixmap(m_c, m_depth, pixmap, m_window, quint16(size.width()), quint16(size.height()));
    upload(pixmap, frame);
    m_pixmaps.insert(key, pixmap);
    return pixmap;
}

void XPresentPresenter::upload(quint32 pixmap, const QImage &frame) {
    // As many rows per request as the server takes (a 256 x 256 picture is 256 KB, more than a
    // request may hold without BIG-REQUESTS).
    const qsizetype rowBytes = qsizetype(frame.width()) * 4;
    const qsizetype maxBytes = m_maxRequestBytes - 64;
    const int rowsPerRequest = int(std::max<qsizetype>(1, maxBytes / rowBytes));
    QByteArray swapped;
    for (int y = 0; y < frame.height(); y += rowsPerRequest) {
        const int rows = std::min(rowsPerRequest, frame.height() - y);
        const auto *data = reinterpret_cast<const quint8 *>(frame.constScanLine(y));
        const qsizetype bytes = rowBytes * rows;
        if (m_swapBytes) {
            swapped.resize(bytes);
            for (qsizetype i = 0; i < bytes; i += 4)
                for (int b = 0; b < 4; ++b)
                    swapped[i + b] = char(data[i + 3 - b]);
            data = reinterpret_cast<const quint8 *>(swapped.constData());
        }
        xcb_put_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, m_gc, quint16(frame.width()), quint16(rows), 0,
                      qint16(y), 0, m_depth, quint32(bytes), data);
    }
}

} // namespace kivora
