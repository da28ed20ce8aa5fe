// The Linux side of readFolderFile: open(2) with O_NONBLOCK, then fstat(2) on the descriptor.
#include "base/FolderFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kivora {

namespace {

EntryKind kindOf(mode_t mode) {
    if (S_ISREG(mode))
        return EntryKind::Regular;
    if (S_ISDIR(mode))
        return EntryKind::Folder;
    if (S_ISFIFO(mode))
        return EntryKind::Pipe;
    if (S_ISSOCK(mode))
        return EntryKind::Socket;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return EntryKind::Device;
    return EntryKind::Other;
}

QString reason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

FolderFileRead failed(int error) {
    FolderFileRead r;
    r.error = reason(error);
    return r;
}

FolderFileRead notRegular(EntryKind kind) {
    FolderFileRead r;
    r.status = FolderFileRead::NotRegular;
    r.kind = kind;
    return r;
}

// Closes the descriptor however the read ends.
struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

FolderFileRead readFolderFile(const QString &path, qint64 maxBytes) {
    // O_NONBLOCK: opening a pipe that has no writer, or a device, returns at once.
    const QByteArray name = QFile::encodeName(path);
    Descriptor file{::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    struct stat st {};
    if (file.fd < 0) {
        const int error = errno;
        // A socket cannot be opened at all (ENXIO); it is told by its kind all the same.
        if (::stat(name.constData(), &st) == 0 && S_ISSOCK(st.st_mode))
            return notRegular(EntryKind::Socket);
        return failed(error);
    }
    if (::fstat(file.fd, &st) != 0)
        return failed(errno);
    if (const EntryKind kind = kindOf(st.st_mode); kind != EntryKind::Regular)
        return notRegular(kind);
    QString error;
    FolderFileRead r = readOpenFile(st.st_size, maxBytes, [&](char *buffer, qint64 capacity) -> qint64 {
        for (;;) {
            const ssize_t got = ::read(file.fd, buffer, std::size_t(capacity));
            if (got >= 0)
                return got;
            if (errno != EINTR) {
                error = reason(errno);
                return -1;
            }
        }
    });
    r.error = error;
    return r;
}

} // namespace kivora
