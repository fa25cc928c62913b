#include "platform/FileStore.h"

#include "platform/Failure.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QByteArray nameOf(const QString& path)
{
    if (path.isEmpty())
        throw Failure(FailureNumber::BadFileName);
    return QFile::encodeName(path);
}

// The descriptor of a plain file and its size, opened without waiting: a pipe opened for
// reading would block until a writer came, and one opened for writing until a reader did.
int openPlainFile(const QString& path, int flags, off_t* size = nullptr)
{
    const int fd = ::open(nameOf(path).constData(), flags | O_NONBLOCK | O_CLOEXEC, 0644);
    // Only an exclusive creation meets a name that is taken: refused, as a locked file is.
    if (fd < 0)
        throw Failure::fromErrno(errno == EEXIST ? EACCES : errno, path);
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        throw Failure(FailureNumber::PermissionDenied);
    }
    if (size)
        *size = info.st_size;
    return fd;
}

// Reads to the end or to `limit` bytes; 0, or the errno that stopped it.
int readUpTo(int fd, QByteArray& content, qsizetype limit)
{
    char buffer[65536];
    while (limit < 0 || content.size() < limit) {
        const qsizetype room = limit < 0 ? qsizetype(sizeof buffer) : limit - content.size();
        const ssize_t got = ::read(fd, buffer, size_t(qMin(qsizetype(sizeof buffer), room)));
        if (got == 0)
            break;
        if (got > 0)
            content.append(buffer, got);
        else if (errno != EINTR)
            return errno;
    }
    return 0;
}

// One write of the whole, synced; a short write is as good as a full disk.
int writeAndSync(int fd, const QByteArray& bytes)
{
    for (;;) {
        const ssize_t done = ::write(fd, bytes.constData(), size_t(bytes.size()));
        if (done == bytes.size())
            return ::fsync(fd) == 0 ? 0 : errno;
        if (done >= 0)
            return ENOSPC;
        if (errno != EINTR)
            return errno;
    }
}
} // namespace

bool FileStore::exists(const QString& path)
{
    struct stat info
    {
    };
    return !path.isEmpty() && ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

std::optional<FileStore::Status> FileStore::status(const QString& path)
{
    struct stat info
    {
    };
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    // Times more than about 280 years from 1970 are cut there: the nanoseconds cannot overflow.
    const qint64 seconds = qBound(-9'000'000'000LL, qint64(info.st_mtim.tv_sec), 9'000'000'000LL);
    return Status{info.st_size, seconds * 1'000'000'000 + info.st_mtim.tv_nsec, info.st_dev,
                  info.st_ino};
}

QByteArray FileStore::read(const QString& path, qsizetype limit)
{
    off_t size = 0;
    const int fd = openPlainFile(path, O_RDONLY, &size);
    const bool whole = limit < 0;
    if (whole && size > MaxBytes) {
        ::close(fd);
        throw Failure(FailureNumber::OutOfMemory);
    }
    // A file that grows while it is read, or whose size says nothing (as some file systems'
    // files do), is stopped one byte past the bound.
    QByteArray content;
    const int error = readUpTo(fd, content, whole ? MaxBytes + 1 : limit);
    ::close(fd);
    if (error != 0)
        throw Failure::fromErrno(error, path);
    if (content.size() > MaxBytes && whole)
        throw Failure(FailureNumber::OutOfMemory);
    return content;
}

void FileStore::save(const QString& path, const QByteArray& bytes)
{
    if (bytes.size() > MaxBytes)
        throw Failure(FailureNumber::OutOfMemory);
    // A file that its owner made read-only stays as it is, although its folder would let a
    // new file take its place.
    const QByteArray name = nameOf(path);
    if (::access(name.constData(), F_OK) == 0 && ::access(name.constData(), W_OK) != 0)
        throw Failure::fromErrno(errno, path);
    // A folder refuses the rename at the end, which Qt would report as a failed write.
    if (QFileInfo(path).isDir())
        throw Failure(FailureNumber::PermissionDenied);
    QSaveFile file(path);
    // Without this, a folder that refuses new files would make QSaveFile write in place.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        throw Failure::fromSaveError(file.error(), path);
    // Keep the old file's permission bits: an atomic rename would otherwise reset them.
    const QFileInfo old(path);
    if (old.exists())
        file.setPermissions(old.permissions());
    if (file.write(bytes) != bytes.size() || !file.flush() || !file.commit())
        throw Failure::fromSaveError(file.error(), path);
}

void FileStore::append(const QString& path, const QByteArray& bytes, Create create)
{
    const bool mustBeNew = create == Create::New;
    off_t oldSize = 0;
    const int fd =
        openPlainFile(path, O_WRONLY | O_APPEND | O_CREAT | (mustBeNew ? O_EXCL : 0), &oldSize);
    const int error = writeAndSync(fd, bytes);
    if (error != 0)
        while (::ftruncate(fd, oldSize) != 0 && errno == EINTR) {
        }
    // Synced bytes are on the disk whatever closing says.
    ::close(fd);
    if (error == 0)
        return;
    // A new file that holds nothing would only block the name for the next try.
    if (mustBeNew)
        ::unlink(QFile::encodeName(path).constData());
    throw Failure::fromErrno(error, path);
}
