// The Windows side of the key reader: Raw Input on a thread of its own. Its message-only window
// is registered for every keyboard's raw input, in the background too (RIDEV_INPUTSINK), so the
// system queues a WM_INPUT for each key on this thread at the moment it hands the key to the
// foreground window's thread, where Qt's key mapping and the event filter are still to come.
// The legacy key messages still go to the program's windows as before.
#include "platform/KeyReader.h"

#include "base/Clock.h"
#include "base/RawKeys.h"

#include <QGuiApplication>

#include <future>
#include <thread>
#include <windows.h>

namespace kivora {

namespace {

// The usage of a keyboard in RAWINPUTDEVICE: the generic desktop page, keyboard.
constexpr USHORT GenericDesktop = 0x01, Keyboard = 0x06;
constexpr wchar_t WindowClass[] = L"KivoraKeyReader";

// The reader's thread at the priority of a game's input thread: the multimedia class scheduler's
// "Games" task (avrt.dll, looked up at run time), else the highest priority of its class.
class RaisedPriority {
public:
    RaisedPriority() {
        using AvSet = HANDLE(WINAPI *)(LPCWSTR, LPDWORD);
        m_avrt = LoadLibraryW(L"avrt.dll");
        const auto set = m_avrt ? reinterpret_cast<AvSet>(reinterpret_cast<void (*)()>(
                                      GetProcAddress(m_avrt, "AvSetMmThreadCharacteristicsW")))
                                : nullptr;
        DWORD task = 0;
        m_task = set ? set(L"Games", &task) : nullptr;
        if (!m_task)
            SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    }
    ~RaisedPriority() {
        using AvRevert = BOOL(WINAPI *)(HANDLE);
        if (m_task) {
            const auto revert = reinterpret_cast<AvRevert>(
                reinterpret_cast<void (*)()>(GetProcAddress(m_avrt, "AvRevertMmThreadCharacteristics")));
            if (revert)
                revert(m_task);
        }
        if (m_avrt)
            FreeLibrary(m_avrt);
    }
    RaisedPriority(const RaisedPriority &) = delete;
    RaisedPriority &operator=(const RaisedPriority &) = delete;

private:
    HMODULE m_avrt = nullptr;
    HANDLE m_task = nullptr;
};

LRESULT CALLBACK readerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE: {
        RAWINPUTDEVICE device{GenericDesktop, Keyboard, RIDEV_REMOVE, nullptr};
        RegisterRawInputDevices(&device, 1, sizeof device);
        DestroyWindow(window);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        // WM_INPUT too: the system frees the input's data here.
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

class RawInputKeyReader final : public KeyReader {
public:
    explicit RawInputKeyReader(KeyStamps &stamps) : m_stamps(stamps) {}
    ~RawInputKeyReader() override;
    RawInputKeyReader(const RawInputKeyReader &) = delete;
    RawInputKeyReader &operator=(const RawInputKeyReader &) = delete;

    // Starts the thread and waits until it has registered for Raw Input: false (the thread has
    // ended) where it could not.
    bool begin();
    const char *source() const override { return "rawinput"; }

private:
    void run(std::promise<bool> &registered);

    KeyStamps &m_stamps;
    HWND m_window = nullptr; // the reader's message-only window, on its thread
    DWORD m_threadId = 0;
    std::thread m_thread;
};

} // namespace

std::unique_ptr<KeyReader> KeyReader::start(KeyStamps &stamps) {
    // The offscreen platform of the tests gets no keys from the system.
    if (QGuiApplication::platformName() != u"windows"_qs)
        return nullptr;
    auto reader = std::make_unique<RawInputKeyReader>(stamps);
    if (!reader->begin())
        return nullptr;
    return reader;
}

namespace {

bool RawInputKeyReader::begin() {
    std::promise<bool> registered;
    std::future<bool> outcome = registered.get_future();
    try {
        m_thread = std::thread([this, &registered] { run(registered); });
    } catch (const std::system_error &) {
        return false;
    }
    if (!outcome.get()) {
        m_thread.join();
        return false;
    }
    return true;
}

RawInputKeyReader::~RawInputKeyReader() {
    if (!m_thread.joinable())
        return; // never started, or ended when it could not register
    if (!PostMessageW(m_window, WM_CLOSE, 0, 0))
        PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
    m_thread.join();
}

void RawInputKeyReader::run(std::promise<bool> &registered) {
    const RaisedPriority priority;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = readerWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = WindowClass;
    RegisterClassExW(&windowClass); // fails harmlessly when a reader before this one registered it
    m_window = CreateWindowExW(0, WindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    const RAWINPUTDEVICE device{GenericDesktop, Keyboard, RIDEV_INPUTSINK, m_window};
    if (!m_window || !RegisterRawInputDevices(&device, 1, sizeof device)) {
        if (m_window)
            DestroyWindow(m_window);
        registered.set_value(false);
        return;
    }
    m_threadId = GetCurrentThreadId();
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    RawKeyFeed feed(m_stamps);
    registered.set_value(true);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_INPUT) {
            // The clock first: the moment this thread learnt of the key.
            LARGE_INTEGER now;
            QueryPerformanceCounter(&now);
            RAWINPUT input;
            UINT size = sizeof input;
            if (GetRawInputData(reinterpret_cast<HRAWINPUT>(message.lParam), RID_INPUT, &input, &size,
                                sizeof(RAWINPUTHEADER)) != UINT(-1) &&
                input.header.dwType == RIM_TYPEKEYBOARD) {
                const RAWKEYBOARD &key = input.data.keyboard;
                feed.read({key.MakeCode, key.Flags, key.VKey},
                          qpcTicksToUs(now.QuadPart, frequency.QuadPart));
            }
        }
        DispatchMessageW(&message);
    }
}

} // namespace

} // namespace kivora
