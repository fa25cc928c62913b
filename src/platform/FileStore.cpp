#include "platform/FileStore.h"

#include "platform/Failure.h"
#include "platform/TextFile.h"

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

namespace {
[[noreturn]] void failSave(const QSaveFile& file, const QString& path)
{
    // QSaveFile keeps errno from the call that failed; a folder that is gone shows as ENOENT.
    const int error = errno != 0 ? errno : EIO;
    if (file.error() == QFileDevice::ResizeError || error == ENOSPC || error == EDQUOT)
        throw Failure(FailureNumber::DiskFull);
    throw Failure::fromErrno(error, path);
}
} // namespace

void FileStore::replace(const QString& path, const QByteArray& bytes)
{
    if (path.isEmpty())
        throw Failure(FailureNumber::BadFileName);
    QSaveFile file(path);
    // Without this, a folder that refuses new files would make QSaveFile write in place.
    file.setDirectWriteFallback(false);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        failSave(file, path);
    // Keep the old file's permission bits: an atomic rename would otherwise reset them.
    const QFileInfo old(path);
    if (old.exists())
        file.setPermissions(old.permissions());
    errno = 0;
    if (file.write(bytes) != bytes.size() || !file.flush())
        failSave(file, path);
    errno = 0;
    if (!file.commit())
        failSave(file, path);
}

void FileStore::createExclusive(const QString& path, const QByteArray& bytes)
{
    if (path.isEmpty())
        throw Failure(FailureNumber::BadFileName);
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        throw Failure::fromErrno(errno == EEXIST ? EACCES : errno, path);
    ::close(fd);
    TextFile file(path, TextFile::Mode::Append);
    file.write(bytes);
    file.close();
}
