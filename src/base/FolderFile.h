#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace kivora {

// One entry of a folder that other machines write into (a shared data folder), read without
// trusting what it is: a named pipe, a device or a huge file must neither hang the reader nor
// fill its memory.

// What an entry is, as the open file says it (no check-then-open race).
enum class EntryKind { Regular, Folder, Pipe, Socket, Device, Other };

struct FolderFileRead {
    enum Status {
        Read,       // bytes holds the whole file
        NotRegular, // kind says what it is; nothing was read
        TooLarge,   // size is above the limit; nothing was read
        DeviceName, // on Windows, a name the system takes for a device (CON.csv); never opened
        Failed,     // error is the system's reason
    } status = Failed;
    QByteArray bytes;
    EntryKind kind = EntryKind::Other;
    qint64 size = 0;
    QString error;
};

// Opens path without blocking (a pipe with no writer, a terminal), checks on the open file that it
// is a regular file of at most maxBytes, and only then reads it whole. On Windows the file is
// opened sharing reading, writing and deletion, so that a program writing it is never locked out.
FolderFileRead readFolderFile(const QString &path, qint64 maxBytes);

// For the two sides of readFolderFile: the rest of an open regular file of `size` bytes (as the
// open file says) read with read(buffer, capacity), which returns the bytes read, 0 at the end, or
// -1 after putting the system's reason into the result's error. A file that grows while it is
// read is read one byte past maxBytes, then refused as too large.
FolderFileRead readOpenFile(qint64 size, qint64 maxBytes, const std::function<qint64(char *, qint64)> &read);

// Whether Windows takes a file of this name for a device, with any extension and in any case
// ("nul.csv", "Com1"): CON, CONIN$, CONOUT$, PRN, AUX, NUL, COM0-9, LPT0-9 (also with a
// superscript 1-3).
bool isWindowsDeviceName(const QString &name);

} // namespace kivora
