// The Windows side of the presenter in step with the display's refresh. Windows composes every
// window on the desktop compositor (DWM), which composes a window's new drawing at its next
// refresh and shows it one refresh later. The compositor's timing info (its refresh period and
// the time and number of its latest vblank) gives the grid the stages are counted on: a
// GridPresenter paints each picture early in the refresh before its target and takes the onset
// from the grid, an estimate, since the compositor tells no program when a frame of its own
// reached the screen. Where the timing info is missing or does not advance there is no such
// presenter, and the pictures are painted and flushed when their timers fire. With --timing
// flip, the picture area presents through a DXGI swap chain instead (FlipPresenter below).
#include "ui/FramePresenter.h"

#include "base/Clock.h"
#include "platform/WindowSystem.h"
#include "session/GridPresenter.h"
#include "ui/PictureBox.h"

#include "base/PresentStatistics.h"
#include "base/RefreshGrid.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cmath>
#include <cstdio>
#include <deque>

#include <windows.h>

#include <d3d11.h>
#include <dwmapi.h>
#include <dxgi1_3.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

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

// The compositor's timing info, where it is there and advances: two readings some refreshes
// apart must move on with the time between them. Nothing, and in why the reason, otherwise.
std::unique_ptr<DwmGridSource> liveDwmGrid(QString *why) {
    auto source = std::make_unique<DwmGridSource>();
    if (!source->available()) {
        *why = u"the desktop compositor's timing info (dwmapi.dll) is missing"_qs;
        return nullptr;
    }
    const qint64 firstUs = SteadyClock::instance().nowUs();
    const RefreshGrid first = source->read();
    QThread::msleep(60);
    const RefreshGrid second = source->read();
    if (!first.isValid() || !gridAdvances(first, second, SteadyClock::instance().nowUs() - firstUs)) {
        *why = u"the desktop compositor's timing info does not advance"_qs;
        return nullptr;
    }
    return source;
}

using CreateDevice = HRESULT(WINAPI *)(IDXGIAdapter *, D3D_DRIVER_TYPE, HMODULE, UINT,
                                       const D3D_FEATURE_LEVEL *, UINT, UINT, ID3D11Device **,
                                       D3D_FEATURE_LEVEL *, ID3D11DeviceContext **);

// The picture area as a native child window with a DXGI flip-model swap chain (two buffers,
// FLIP_DISCARD). Every picture is uploaded as a texture before it is needed (during a trial's
// countdown) and presented with Present(1, 0) early in the refresh before its target, so that it
// is shown at the target's vblank; the onset is that vblank's time as the swap chain's frame
// statistics give it (SyncQPCTime and the refresh counts). Once the window is shown, the
// statistics are asked for up to a second: where they are missing, or later stay disjoint for
// more than a second, the onsets are estimated from the compositor's grid instead, as the
// GridPresenter does, and standard error says so once.
class FlipPresenter final : public Presenter {
public:
    FlipPresenter(PictureBox *image, std::unique_ptr<DwmGridSource> dwm)
        : m_image(image), m_dwm(std::move(dwm)) {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        m_frequency = frequency.QuadPart;
        m_grid = m_dwm->read();
        HMODULE d3d = LoadLibraryW(L"d3d11.dll");
        const auto create = d3d ? reinterpret_cast<CreateDevice>(
                                      reinterpret_cast<void *>(GetProcAddress(d3d, "D3D11CreateDevice")))
                                : nullptr;
        if (!create)
            throw DisplayError(u"Direct3D 11 (d3d11.dll) is missing"_qs);
        HRESULT hr = E_FAIL;
        for (const D3D_DRIVER_TYPE driver : {D3D_DRIVER_TYPE_HARDWARE, D3D_DRIVER_TYPE_WARP}) {
            hr = create(nullptr, driver, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT, nullptr, 0,
                        D3D11_SDK_VERSION, &m_device, nullptr, &m_context);
            if (SUCCEEDED(hr))
                break;
        }
        if (FAILED(hr))
            throw DisplayError(u"no Direct3D 11 device (0x%1)"_qs.arg(quint32(hr), 8, 16, QChar(u'0')));
        ComPtr<IDXGIDevice> dxgiDevice;
        ComPtr<IDXGIAdapter> adapter;
        ComPtr<IDXGIFactory2> factory;
        if (FAILED(m_device.As(&dxgiDevice)) || FAILED(dxgiDevice->GetAdapter(&adapter)) ||
            FAILED(adapter->GetParent(IID_PPV_ARGS(&factory))))
            throw DisplayError(u"no DXGI 1.2 factory for the Direct3D device"_qs);

        m_surface = image->makeSurface([this] { exposed(); });
        const qreal dpr = image->devicePixelRatioF();
        m_size =
            QSize(int(std::lround(m_surface->width() * dpr)), int(std::lround(m_surface->height() * dpr)));

        DXGI_SWAP_CHAIN_DESC1 desc{};
        desc.Width = UINT(m_size.width());
        desc.Height = UINT(m_size.height());
        desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
        desc.SampleDesc.Count = 1;
        desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
        desc.BufferCount = 2;
        desc.Scaling = DXGI_SCALING_NONE; // one picture pixel to one screen pixel
        desc.SwapEffect = DXGI_SWAP_EFFECT_FLIP_DISCARD;
        desc.AlphaMode = DXGI_ALPHA_MODE_IGNORE;
        const HWND hwnd = reinterpret_cast<HWND>(m_surface->winId());
        hr = factory->CreateSwapChainForHwnd(m_device.Get(), hwnd, &desc, nullptr, nullptr, &m_swap);
        if (FAILED(hr)) {
            image->removeSurface();
            throw DisplayError(
                u"the flip-model swap chain was refused (0x%1)"_qs.arg(quint32(hr), 8, 16, QChar(u'0')));
        }
        m_poll.setTimerType(Qt::PreciseTimer);
        m_poll.setInterval(1);
        connect(&m_poll, &QTimer::timeout, this, [this] { poll(); });
    }

    void show(Stage stage, const QImage *picture, int frames, std::function<void()> withPicture) override {
        if (!m_exposed) {
            // Not on screen yet (the load step): the picture comes with the first exposure.
            m_onScreen = picture;
            withPicture();
            emit shown(stage, Onset{SteadyClock::instance().nowUs()});
            return;
        }
        if (frames > 0 && !m_pending.empty())
            finish(); // the refresh the stage counts from
        ID3D11Texture2D *texture = textureFor(picture);
        const RefreshGrid grid = currentGrid();
        qint64 target = -1;
        if (frames > 0 && m_lastRefresh >= 0 && grid.isValid()) {
            const GridStage plan = planOnGrid(grid, m_lastRefresh, frames);
            target = plan.target;
            if (SteadyClock::instance().nowUs() < plan.handOverUs)
                waitUntil(plan.handOverUs);
        }
        const UINT count = present(texture);
        m_onScreen = picture;
        const qint64 handedUs = SteadyClock::instance().nowUs();
        if (m_stats != Stats::Live) {
            const GridOnset onset = composedOnGrid(grid, target, handedUs);
            m_lastRefresh = onset.refresh;
            withPicture();
            emit shown(stage, Onset{onset.us, onset.refresh, target});
            return;
        }
        m_pending.push_back({count, target, stage, std::move(withPicture), grid, handedUs});
        m_poll.start();
    }

    void prepare(std::initializer_list<const QImage *> pictures) override {
        QHash<qint64, ComPtr<ID3D11Texture2D>> keep;
        const auto keepFor = [&](const QImage *picture) {
            const qint64 key = picture ? picture->cacheKey() : 0;
            if (const auto it = m_textures.constFind(key); it != m_textures.cend())
                keep.insert(key, *it);
        };
        keepFor(nullptr);
        keepFor(m_onScreen);
        for (const QImage *picture : pictures)
            keepFor(picture);
        m_textures.swap(keep);
        m_image->prepare(pictures);
        for (const QImage *picture : pictures)
            textureFor(picture);
    }

    void finish() override {
        QElapsedTimer waited;
        waited.start();
        while (!m_pending.empty() && waited.elapsed() < 1000) {
            poll();
            if (!m_pending.empty())
                Sleep(1);
        }
        if (!m_pending.empty())
            giveUpStatistics(u"no frame statistics of a present within 1 s"_qs);
    }

    int framesFor(qint32 intervalMs) const override {
        return refreshesFor(intervalMs, qint64(std::llround(m_grid.periodUs)));
    }

    qint64 leadUs(Stage, qint32 intervalMs) const override {
        // The timer counts from the previous onset: the vblank of the refresh it was shown at
        // (statistics), or the start of the refresh after its composition (estimates). The
        // hand-over is early in the refresh before the target.
        const int n = framesFor(intervalMs);
        const int refreshesToHandOver = n - (m_stats == Stats::Live ? 1 : 2);
        return qint64(intervalMs) * 1000 - std::llround(refreshesToHandOver * m_grid.periodUs) -
               handOverMarginUs(m_grid) + GridPresenter::WakeMarginUs;
    }

    bool isReady() const override { return m_stats != Stats::Unknown; }

    void waitUntilReady() override {
        QElapsedTimer waited;
        waited.start();
        while (!isReady() && waited.elapsed() < 3000)
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
        if (!isReady())
            giveUpStatistics(u"the picture window was not shown"_qs);
    }

    DisplayInfo displayInfo() const override {
        DisplayInfo info;
        info.mode = PresentMode::Present;
        info.periodUs = qint64(std::llround(m_grid.periodUs));
        info.window = quint32(quintptr(m_surface->winId()));
        info.onset = m_stats == Stats::Live ? OnsetSource::Dxgi : OnsetSource::Dwm;
        info.compositor = m_stats == Stats::Live && shownAsOverlay() ? Compositor::Bypassed : Compositor::Yes;
        return info;
    }

private:
    // Whether the swap chain's last frame went to the screen without the compositor: its media
    // statistics say it was shown as an overlay. Where they cannot be had (before Windows 8.1, in
    // wine) the frame counts as composed.
    bool shownAsOverlay() const {
        ComPtr<IDXGISwapChainMedia> media;
        DXGI_FRAME_STATISTICS_MEDIA stats{};
        return SUCCEEDED(m_swap.As(&media)) && SUCCEEDED(media->GetFrameStatisticsMedia(&stats)) &&
               stats.CompositionMode == DXGI_FRAME_PRESENTATION_MODE_OVERLAY;
    }

    struct Pending {
        UINT presentCount;
        qint64 target;
        Stage stage;
        std::function<void()> withPicture;
        RefreshGrid grid; // as planned on
        qint64 handedUs;
    };
    enum class Stats { Unknown, Live, Missing };

    void exposed() {
        if (m_exposed)
            return;
        m_exposed = true;
        present(textureFor(m_onScreen));
        // Whether the swap chain tells when its presents were shown: asked for up to a second.
        auto *probe = new QTimer(this);
        probe->setInterval(10);
        m_probing.start();
        connect(probe, &QTimer::timeout, this, [this, probe] {
            if (m_stats != Stats::Unknown) { // given up meanwhile (a run could not wait)
                probe->deleteLater();
                return;
            }
            DXGI_FRAME_STATISTICS stats{};
            const HRESULT hr = m_swap->GetFrameStatistics(&stats);
            if (SUCCEEDED(hr) && stats.SyncRefreshCount != 0) {
                m_stats = Stats::Live;
                m_lastRefresh = -1; // counted in the swap chain's refreshes from now on
                emit ready();
            } else if (m_probing.elapsed() > DisjointWatch::LimitUs / 1000) {
                giveUpStatistics(u"the swap chain gives no frame statistics (0x%1)"_qs.arg(quint32(hr), 8, 16,
                                                                                           QChar(u'0')));
            } else {
                return;
            }
            probe->deleteLater();
        });
        probe->start();
    }

    // Onsets from the compositor's grid from now on; the presents still waiting for statistics
    // are told with estimates.
    void giveUpStatistics(const QString &why) {
        if (m_stats != Stats::Missing)
            std::fprintf(stderr,
                         "kivora: --timing flip: %s; onsets are estimated from the compositor's refresh "
                         "grid\n",
                         why.toLocal8Bit().constData());
        const bool wasUnknown = m_stats == Stats::Unknown;
        m_stats = Stats::Missing;
        m_grid = m_dwm->read();
        while (!m_pending.empty()) {
            Pending p = std::move(m_pending.front());
            m_pending.pop_front();
            const GridOnset onset = composedOnGrid(m_grid, -1, p.handedUs);
            complete(p, Onset{onset.us, onset.refresh, -1});
        }
        m_lastRefresh = -1; // the refreshes are counted anew on the compositor's grid
        m_poll.stop();
        if (wasUnknown)
            emit ready();
    }

    // The grid the stages are counted on: the swap chain's refresh counts where its statistics
    // are had (the compositor's period), else the compositor's own.
    RefreshGrid currentGrid() {
        const RefreshGrid dwm = m_dwm->read();
        if (dwm.isValid())
            m_grid = dwm;
        if (m_stats != Stats::Live)
            return m_grid;
        DXGI_FRAME_STATISTICS stats{};
        if (FAILED(m_swap->GetFrameStatistics(&stats)) || stats.SyncRefreshCount == 0)
            return RefreshGrid{m_grid.periodUs, m_syncUs, m_syncRefresh};
        m_syncUs = qpcTicksToUs(stats.SyncQPCTime.QuadPart, m_frequency);
        m_syncRefresh = stats.SyncRefreshCount;
        return RefreshGrid{m_grid.periodUs, m_syncUs, m_syncRefresh};
    }

    void poll() {
        DXGI_FRAME_STATISTICS raw{};
        const bool usable = SUCCEEDED(m_swap->GetFrameStatistics(&raw)) && raw.SyncRefreshCount != 0;
        if (m_disjoint.tooLong(usable, SteadyClock::instance().nowUs())) {
            giveUpStatistics(u"the frame statistics stayed disjoint for more than a second"_qs);
            return;
        }
        if (!usable)
            return;
        const FrameStatistics stats{raw.PresentCount, raw.PresentRefreshCount, raw.SyncRefreshCount,
                                    raw.SyncQPCTime.QuadPart};
        while (!m_pending.empty()) {
            Pending &p = m_pending.front();
            const PresentOnset o =
                presentOnset(stats, p.presentCount, quint32(p.target), m_grid.periodUs, m_frequency);
            if (o.state == PresentOnset::State::Pending)
                break;
            Pending done = std::move(p);
            m_pending.pop_front();
            if (o.state == PresentOnset::State::Shown) {
                complete(done, Onset{o.us, qint64(o.refresh), done.target});
            } else {
                // Shown and covered before the statistics were read: the refresh it was handed
                // over for, on the grid it was planned on.
                const qint64 refresh = composedOnGrid(done.grid, done.target, done.handedUs).refresh;
                complete(done, Onset{done.grid.startUs(refresh), refresh, done.target});
            }
        }
        if (m_pending.empty())
            m_poll.stop();
    }

    void complete(Pending &p, Onset onset) {
        m_lastRefresh = onset.msc;
        p.withPicture();
        emit shown(p.stage, onset);
    }

    UINT present(ID3D11Texture2D *texture) {
        ComPtr<ID3D11Texture2D> buffer;
        if (SUCCEEDED(m_swap->GetBuffer(0, IID_PPV_ARGS(&buffer))) && texture)
            m_context->CopyResource(buffer.Get(), texture);
        m_swap->Present(1, 0);
        UINT count = 0;
        m_swap->GetLastPresentCount(&count);
        return count;
    }

    // The picture's texture, made the first time: the whole picture area in the window's colour,
    // the picture centred at a whole pixel, one picture pixel to one screen pixel.
    ID3D11Texture2D *textureFor(const QImage *picture) {
        const qint64 key = picture ? picture->cacheKey() : 0;
        if (const auto it = m_textures.constFind(key); it != m_textures.cend())
            return it->Get();
        QImage frame(m_size, QImage::Format_RGB32); // B, G, R, X in memory: B8G8R8A8
        frame.fill(m_image->palette().color(QPalette::Window));
        if (picture && !picture->isNull()) {
            QPainter p(&frame);
            p.drawImage((m_size.width() - picture->width()) / 2, (m_size.height() - picture->height()) / 2,
                        picture->convertToFormat(QImage::Format_RGB32));
        }
        D3D11_TEXTURE2D_DESC desc{};
        desc.Width = UINT(m_size.width());
        desc.Height = UINT(m_size.height());
        desc.MipLevels = 1;
        desc.ArraySize = 1;
        desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
        desc.SampleDesc.Count = 1;
        desc.Usage = D3D11_USAGE_IMMUTABLE;
        desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
        const D3D11_SUBRESOURCE_DATA data{frame.constBits(), UINT(frame.bytesPerLine()), 0};
        ComPtr<ID3D11Texture2D> texture;
        if (FAILED(m_device->CreateTexture2D(&desc, &data, &texture)))
            return nullptr;
        return m_textures.insert(key, texture)->Get();
    }

    PictureBox *m_image;
    std::unique_ptr<DwmGridSource> m_dwm;
    RefreshGrid m_grid; // the compositor's, as last read
    ComPtr<ID3D11Device> m_device;
    ComPtr<ID3D11DeviceContext> m_context;
    ComPtr<IDXGISwapChain1> m_swap;
    QWindow *m_surface = nullptr;
    QSize m_size;
    QHash<qint64, ComPtr<ID3D11Texture2D>> m_textures; // picture cache key (0: none) -> texture
    const QImage *m_onScreen = nullptr;
    bool m_exposed = false;
    Stats m_stats = Stats::Unknown;
    QElapsedTimer m_probing; // since the statistics were first asked for
    DisjointWatch m_disjoint;
    qint64 m_frequency = 0;
    qint64 m_syncUs = 0; // the latest statistics' vblank and its refresh count
    qint64 m_syncRefresh = 0;
    qint64 m_lastRefresh = -1; // the refresh the last screen was shown at; -1: none yet
    std::deque<Pending> m_pending;
    QTimer m_poll; // asks for statistics every millisecond while a present waits for them
};

} // namespace

std::unique_ptr<Presenter> makeFramePresenter(PictureBox *image, QString *why) {
    std::unique_ptr<DwmGridSource> source = liveDwmGrid(why);
    if (!source)
        return nullptr;
    QWidget *window = image->window();
    return std::make_unique<GridPresenter>(
        std::move(source), SteadyClock::instance(),
        GridPresenter::Window{
            [window] { repaintNow(window); },
            [image](std::initializer_list<const QImage *> pictures) { image->prepare(pictures); },
            waitUntil});
}

std::unique_ptr<Presenter> makeFlipPresenter(PictureBox *image, QString *why) {
    std::unique_ptr<DwmGridSource> grid = liveDwmGrid(why);
    if (!grid)
        return nullptr;
    try {
        return std::make_unique<FlipPresenter>(image, std::move(grid));
    } catch (const DisplayError &e) {
        *why = e.detail();
        return nullptr;
    }
}

} // namespace kivora
