// A helper of the end-to-end test under wine. Starts the program with a timing log, waits for
// its main window and the log's window_shown line, reports the window's client area and the
// start-up time, and closes the window as its close box does:
//   winprobe <log file> <program> [arguments...]
// The program gets "--log <log file>" after the given arguments. Output, one key=value a line:
//   client=<width>x<height>   the client area of the program's visible window, in pixels
//   startup_us=<us>           from just before CreateProcess to the logged first paint (the
//                             same steady clock, QueryPerformanceCounter, in both processes)
//   exit=<status>             the program's exit status after the close
// Exits with 0 when all three were seen, 1 otherwise (the program is then ended).
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>

namespace {

long long nowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

std::wstring quoted(const wchar_t *arg) {
    return L"\"" + std::wstring(arg) + L"\"";
}

// The t_us of the log's window_shown line, or -1 while there is none.
long long windowShownUs(const wchar_t *logFile) {
    const HANDLE f =
        CreateFileW(logFile, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return -1;
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    CloseHandle(f);
    const std::size_t at = text.find("\twindow_shown\t");
    if (at == std::string::npos)
        return -1;
    const std::size_t lineStart = text.rfind('\n', at);
    return std::stoll(text.substr(lineStart == std::string::npos ? 0 : lineStart + 1));
}

struct Search {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK visibleWindowOf(HWND hwnd, LPARAM param) {
    auto *search = reinterpret_cast<Search *>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != search->pid || !IsWindowVisible(hwnd) || GetWindow(hwnd, GW_OWNER))
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

} // namespace

int main() {
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 3) {
        std::fputs("usage: winprobe <log file> <program> [arguments...]\n", stderr);
        return 2;
    }
    const wchar_t *logFile = argv[1];
    DeleteFileW(logFile);
    std::wstring commandLine = quoted(argv[2]);
    for (int i = 3; i < argc; ++i)
        commandLine += L" " + quoted(argv[i]);
    commandLine += L" --log " + quoted(logFile);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const long long launchedUs = nowUs();
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::fprintf(stderr, "winprobe: CreateProcess failed (Windows error %lu)\n", GetLastError());
        return 1;
    }

    Search search{process.dwProcessId, nullptr};
    long long shownUs = -1;
    for (int i = 0; i < 6000 && (!search.found || shownUs < 0); ++i) { // 60 s
        if (WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0)
            break; // ended before showing its window
        if (!search.found)
            EnumWindows(visibleWindowOf, reinterpret_cast<LPARAM>(&search));
        if (shownUs < 0)
            shownUs = windowShownUs(logFile);
    }
    if (!search.found || shownUs < 0) {
        std::fprintf(stderr, "winprobe: no %s within 60 s\n", search.found ? "window_shown line" : "window");
        TerminateProcess(process.hProcess, 1);
        return 1;
    }
    RECT client{};
    GetClientRect(search.found, &client);
    std::printf("client=%ldx%ld\nstartup_us=%lld\n", client.right - client.left, client.bottom - client.top,
                shownUs - launchedUs);
    std::fflush(stdout);

    PostMessageW(search.found, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) {
        std::fputs("winprobe: the program did not end within 30 s of WM_CLOSE\n", stderr);
        TerminateProcess(process.hProcess, 1);
        return 1;
    }
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    std::printf("exit=%lu\n", status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    LocalFree(argv);
    return 0;
}
