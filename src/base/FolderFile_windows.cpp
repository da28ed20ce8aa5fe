// The Windows side of readFolderFile: CreateFileW sharing read, write and delete, then the kind and
// size asked of the open handle.
#include "base/FolderFile.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>

#include <algorithm>

namespace kivora {

namespace {

QString reason(DWORD error) {
    wchar_t *text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    const QString out = text ? QString::fromWCharArray(text).trimmed() : u"error %1"_qs.arg(error);
    LocalFree(text);
    return out;
}

FolderFileRead failed(DWORD error) {
    FolderFileRead r;
    r.error = reason(error);
    return r;
}

FolderFileRead notRegular(EntryKind kind, FolderFileRead::Status status = FolderFileRead::NotRegular) {
    FolderFileRead r;
    r.status = status;
    r.kind = kind;
    return r;
}

struct Handle {
    HANDLE h;
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
};

} // namespace

FolderFileRead readFolderFile(const QString &path, qint64 maxBytes) {
    // Windows opens the device, not a file, for such a name in any folder: it is never opened.
    if (isWindowsDeviceName(QFileInfo(path).fileName()))
        return notRegular(EntryKind::Device, FolderFileRead::DeviceName);
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    // FILE_FLAG_BACKUP_SEMANTICS lets a folder be opened too, so that it is told by its kind.
    Handle file{CreateFileW(name.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    if (file.h == INVALID_HANDLE_VALUE)
        return failed(GetLastError());
    BY_HANDLE_FILE_INFORMATION info{};
    switch (GetFileType(file.h)) {
    case FILE_TYPE_DISK:
        if (!GetFileInformationByHandle(file.h, &info))
            return failed(GetLastError());
        if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            return notRegular(EntryKind::Folder);
        break;
    case FILE_TYPE_CHAR:
        return notRegular(EntryKind::Device);
    case FILE_TYPE_PIPE:
        return notRegular(EntryKind::Pipe);
    default:
        return notRegular(EntryKind::Other);
    }
    QString error;
    const qint64 size = (qint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    FolderFileRead r = readOpenFile(size, maxBytes, [&](char *buffer, qint64 capacity) -> qint64 {
        DWORD got = 0;
        if (!ReadFile(file.h, buffer, DWORD(std::min<qint64>(capacity, 1 << 20)), &got, nullptr)) {
            error = reason(GetLastError());
            return -1;
        }
        return got;
    });
    r.error = error;
    return r;
}

} // namespace kivora
