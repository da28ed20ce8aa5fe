#pragma once

#include "app/Presenter.h"

#include <QHash>
#include <QString>
#include <deque>
#include <memory>
#include <vector>

struct xcb_connection_t;
struct xcb_special_event;
class QSocketNotifier;
class QWindow;

namespace kivora {

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
// The caption changes when its picture is on screen, never before.
//
// Uses a connection of its own, watched by the event loop, so that the completion events come
// straight to it.
class PresentPresenter final : public Presenter {
    Q_OBJECT
public:
    // Makes the picture area of image a native window and takes over its pictures. Throws
    // RuntimeError, saying why, when the display cannot be used (no Present 1.0 or later, a
    // window format it cannot fill).
    PresentPresenter(PictureBox *image, QLabel *caption);
    ~PresentPresenter() override;

    void show(Screen screen, const QImage *picture, const std::optional<QString> &caption,
              int frames) override;
    void prepare(std::initializer_list<const QImage *> pictures) override;
    void finish() override;
    int framesFor(qint32 intervalMs) const override;
    qint64 leadUs(Screen next, qint32 intervalMs) const override;
    bool isReady() const override { return m_periodUs > 0; }
    void waitUntilReady() override;
    DisplayInfo displayInfo() const override;

    // Refreshes the period is measured from.
    static constexpr int MeasuredRefreshes = 31;

private:
    // A screen on its way to the display.
    struct Pending {
        quint32 serial;
        Screen screen;
        const QImage *picture;
        std::optional<QString> caption;
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
    QWindow *m_surface = nullptr;
    quint32 m_window = 0;
    quint32 m_gc = 0;
    quint8 m_depth = 0;
    qsizetype m_maxRequestBytes = 0;
    bool m_swapBytes = false; // the server wants pixels most significant byte first
    bool m_exposed = false;
    QString m_compositor = u"unknown"_qs;

    QHash<qint64, quint32> m_pixmaps;   // picture cache key (0: no picture) -> pixmap
    const QImage *m_onScreen = nullptr; // the picture of the last flip
    quint32 m_serial = 0;
    std::deque<Pending> m_pending;
    qint64 m_lastMsc = -1; // refresh of the last flip

    // Measuring the period: msc and ust of the refreshes seen so far.
    quint32 m_measureSerial = 0;
    std::vector<double> m_refreshMsc;
    std::vector<double> m_refreshUst;
    qint64 m_periodUs = 0;
};

} // namespace kivora
