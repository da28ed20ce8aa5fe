// The Windows side of the presenter in step with the display's refresh. Windows composes every
// window on the desktop compositor (DWM), which composes a window's new drawing at its next
// refresh and shows it one refresh later. The compositor's timing info (its refresh period and
// the time and number of its latest vblank) gives the grid the stages are counted on: a
// GridPresenter paints each picture early in the refresh before its target and takes the onset
// from the grid, an estimate, since the compositor tells no program when a frame of its own
// reached the screen. Where the timing info is missing or does not advance there is no such
// presenter, and the pictures are painted and flushed when their timers fire.
#include "app/FramePresenter.h"

#include "app/PictureBox.h"
#include "app/WindowSystem.h"
#include "base/Clock.h"
#include "session/GridPresenter.h"

#include <QThread>

#include <windows.h>

#include <dwmapi.h>

namespace kivora {

namespace {

using GetTimingInfo = HRESULT(WINAPI *)(HWND, DWM_TIMING_INFO *);

// The compositor's timing info for the whole desktop (hwnd NULL), through dwmapi.dll loaded at
// run time so that the program starts where it is missing.
class DwmGridSource final : public RefreshGridSource {
public:
    DwmGridSource() {
        if (HMODULE dwm = LoadLibraryW(L"dwmapi.dll"))
            m_get = reinterpret_cast<GetTimingInfo>(
                reinterpret_cast<void *>(GetProcAddress(dwm, "DwmGetCompositionTimingInfo")));
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        m_frequency = frequency.QuadPart;
    }
    bool available() const { return m_get != nullptr; }

    RefreshGrid read() override {
        if (!m_get)
            return {};
        DWM_TIMING_INFO info{};
        info.cbSize = sizeof(info);
        if (FAILED(m_get(nullptr, &info)))
            return {};
        // Where the refresh count is not given (0: some stand-ins for the compositor, wine's
        // among them, fill in only the period and the latest vblank), the refreshes are counted
        // from the vblank times, whole periods apart.
        quint64 refresh = info.cRefresh;
        if (refresh == 0 && info.qpcRefreshPeriod > 0)
            refresh = quint64(info.qpcVBlank / info.qpcRefreshPeriod);
        return RefreshGrid::fromTimingInfo(qint64(info.qpcRefreshPeriod), qint64(info.qpcVBlank), refresh,
                                           m_frequency);
    }

private:
    GetTimingInfo m_get = nullptr;
    qint64 m_frequency = 0;
};

// Waits until clock reading us, a few ms at most (the stage timer fires just before the
// hand-over), so the thread yields its time slice rather than sleeping for a scheduler tick.
// Never longer than 50 ms, whatever it is asked.
void waitUntil(qint64 us) {
    const SteadyClock &clock = SteadyClock::instance();
    const qint64 limit = clock.nowUs() + 50'000;
    for (qint64 now = clock.nowUs(); now < us && now < limit; now = clock.nowUs())
        SwitchToThread();
}

} // namespace

std::unique_ptr<Presenter> makeFramePresenter(PictureBox *image, QString *why) {
    auto source = std::make_unique<DwmGridSource>();
    if (!source->available()) {
        *why = u"the desktop compositor's timing info (dwmapi.dll) is missing"_qs;
        return nullptr;
    }
    // Two readings some refreshes apart: the grid must move on with the time between them.
    const qint64 firstUs = SteadyClock::instance().nowUs();
    const RefreshGrid first = source->read();
    QThread::msleep(60);
    const RefreshGrid second = source->read();
    if (!first.isValid() || !gridAdvances(first, second, SteadyClock::instance().nowUs() - firstUs)) {
        *why = u"the desktop compositor's timing info does not advance"_qs;
        return nullptr;
    }
    QWidget *window = image->window();
    return std::make_unique<GridPresenter>(
        std::move(source), SteadyClock::instance(),
        GridPresenter::Window{[window] { repaintNow(window); },
                              [image](std::initializer_list<const QImage *> pictures) { image->prepare(pictures); },
                              waitUntil});
}

} // namespace kivora
