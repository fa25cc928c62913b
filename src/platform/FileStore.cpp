#include "platform/FileStore.h"

#include "platform/Failure.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool FileStore::exists(const QString& path)
{
    struct stat info
    {
    };
    return !path.isEmpty() && ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

void FileStore::replace(const QString& path, const QByteArray& bytes)
{
    if (path.isEmpty())
        throw Failure(FailureNumber::BadFileName);
    // A file that its owner made read-only stays as it is, although its folder would let a
    // new file take its place.
    const QByteArray name = QFile::encodeName(path);
    if (::access(name.constData(), F_OK) == 0 && ::access(name.constData(), W_OK) != 0)
        throw Failure::fromErrno(errno, path);
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

namespace {
// One write of the whole; a short one is as good as a full disk.
int writeWhole(int fd, const QByteArray& bytes)
{
    for (;;) {
        const ssize_t done = ::write(fd, bytes.constData(), size_t(bytes.size()));
        if (done == bytes.size())
            return 0;
        if (done >= 0)
            return ENOSPC;
        if (errno != EINTR)
            return errno;
    }
}

int appendAndSync(int fd, const QByteArray& bytes)
{
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0)
        return errno;
    // A pipe or a device is no theme file (and a pipe would wait for a reader).
    if (!S_ISREG(info.st_mode))
        return EACCES;
    int error = writeWhole(fd, bytes);
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (error != 0)
        while (::ftruncate(fd, info.st_size) != 0 && errno == EINTR) {
        }
    return error;
}
} // namespace

void FileStore::append(const QString& path, const QByteArray& bytes)
{
    if (path.isEmpty())
        throw Failure(FailureNumber::BadFileName);
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0)
        throw Failure::fromErrno(errno, path);
    const int error = appendAndSync(fd, bytes);
    ::close(fd);
    if (error != 0)
        throw Failure::fromErrno(error, path);
}

void FileStore::createExclusive(const QString& path, const QByteArray& bytes)
{
    if (path.isEmpty())
        throw Failure(FailureNumber::BadFileName);
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        throw Failure::fromErrno(errno == EEXIST ? EACCES : errno, path);
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    int error = 0;
    while (left > 0 && error == 0) {
        const ssize_t done = ::write(fd, data, size_t(left));
        if (done > 0) {
            data += done;
            left -= done;
        } else if (errno != EINTR) {
            error = errno;
        }
    }
    if (::close(fd) != 0 && error == 0 && errno != EINTR)
        error = errno;
    if (error != 0) {
        // A half-written new file would only block the name for the next try.
        ::unlink(name.constData());
        throw Failure::fromErrno(error, path);
    }
}
