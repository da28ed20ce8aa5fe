// The Windows side of the console. The program is built for the windows subsystem, so Windows
// gives it no console: output goes to the console of the process that started it (cmd.exe,
// PowerShell) when there is one, and to a file or pipe it was redirected to as it stands.
#include "platform/Console.h"

#include <windows.h>

#include <shellapi.h>

namespace kivora {

namespace {
bool leadsSomewhere(HANDLE h) {
    return h && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
}

// A console gets the text as UTF-16, whatever its code page; a file or a pipe gets UTF-8 bytes.
void write(DWORD stream, const QString &text) {
    const HANDLE h = GetStdHandle(stream);
    if (!leadsSomewhere(h))
        return;
    DWORD mode = 0;
    DWORD done = 0;
    if (GetConsoleMode(h, &mode)) {
        WriteConsoleW(h, reinterpret_cast<const wchar_t *>(text.utf16()), DWORD(text.size()), &done, nullptr);
    } else {
        const QByteArray bytes = text.toUtf8();
        WriteFile(h, bytes.constData(), DWORD(bytes.size()), &done, nullptr);
    }
}
} // namespace

void attachStartingConsole() {
    const bool outMissing = !leadsSomewhere(GetStdHandle(STD_OUTPUT_HANDLE));
    const bool errMissing = !leadsSomewhere(GetStdHandle(STD_ERROR_HANDLE));
    if (!outMissing && !errMissing)
        return;
    // Fails when the starter has no console (Explorer, a double-click): then nothing is shown.
    if (!AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    const HANDLE console =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE)
        return;
    if (outMissing)
        SetStdHandle(STD_OUTPUT_HANDLE, console);
    if (errMissing)
        SetStdHandle(STD_ERROR_HANDLE, console);
}

QStringList commandLineArguments(int, char **) {
    // argv holds the arguments in the ANSI code page, which cannot carry every character of a
    // file name; the wide command line can.
    QStringList args;
    int count = 0;
    if (wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            args << QString::fromWCharArray(wide[i]);
        LocalFree(wide);
    }
    return args;
}

bool outputSeen() {
    return leadsSomewhere(GetStdHandle(STD_OUTPUT_HANDLE));
}

void printErr(const QString &text) {
    write(STD_ERROR_HANDLE, text + u'\n');
}

void printOut(const QString &text) {
    write(STD_OUTPUT_HANDLE, text);
}

} // namespace kivora
