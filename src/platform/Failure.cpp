#include "platform/Failure.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <utility>

Failure::Failure(int number, QString description)
    : m_number(number),
      m_description(description.isEmpty() ? describe(number) : std::move(description)),
      m_what(QStringLiteral("Error %1: %2").arg(number).arg(m_description).toUtf8())
{}

QString Failure::describe(int number)
{
    switch (number) {
    case FailureNumber::Overflow:
        return QStringLiteral("Overflow");
    case FailureNumber::OutOfMemory:
        return QStringLiteral("Out of memory");
    case FailureNumber::SubscriptOutOfRange:
        return QStringLiteral("Subscript out of range");
    case FailureNumber::BadFileName:
        return QStringLiteral("Bad file name or number");
    case FailureNumber::FileNotFound:
        return QStringLiteral("File not found");
    case FailureNumber::DeviceIO:
        return QStringLiteral("Device I/O error");
    case FailureNumber::DiskFull:
        return QStringLiteral("Disk full");
    case FailureNumber::PermissionDenied:
        return QStringLiteral("Path/File access error");
    case FailureNumber::PathNotFound:
        return QStringLiteral("Path not found");
    case FailureNumber::CannotCreateObject:
        return QStringLiteral("ActiveX component can't create object");
    case FailureNumber::ObjectDisconnected:
        return QStringLiteral("The remote server machine does not exist or is unavailable");
    default:
        return QStringLiteral("Application-defined or object-defined error");
    }
}

namespace {
// A missing file and a missing folder fail alike in errno; the folder tells them apart.
bool parentFolderExists(const QString& path)
{
    const QFileInfo info(path);
    return QFileInfo(info.absolutePath()).isDir();
}
} // namespace

Failure Failure::fromErrno(int error, const QString& path)
{
    if (path.isEmpty())
        return Failure(FailureNumber::BadFileName);
    switch (error) {
    case ENOENT:
        return Failure(parentFolderExists(path) ? FailureNumber::FileNotFound
                                                : FailureNumber::PathNotFound);
    case ENOTDIR:
        return Failure(FailureNumber::PathNotFound);
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ:
        return Failure(FailureNumber::BadFileName);
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
    case EBUSY:
    case ENXIO: // a pipe that nobody reads, a device that is not there: no plain file
        return Failure(FailureNumber::PermissionDenied);
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return Failure(FailureNumber::DiskFull);
    default:
        return Failure(FailureNumber::DeviceIO);
    }
}

Failure Failure::fromSaveError(QFileDevice::FileError error, const QString& path)
{
    if (path.isEmpty())
        return Failure(FailureNumber::BadFileName);
    switch (error) {
    case QFileDevice::OpenError:
    case QFileDevice::RenameError:
    case QFileDevice::PermissionsError:
        return Failure(parentFolderExists(path) ? FailureNumber::PermissionDenied
                                                : FailureNumber::PathNotFound);
    case QFileDevice::ResourceError: // what Qt makes of a full disk
    case QFileDevice::WriteError:
    case QFileDevice::ResizeError:
        return Failure(FailureNumber::DiskFull);
    default:
        return Failure(FailureNumber::DeviceIO);
    }
}

QString formatNumber(int number)
{
    return number < 0 ? QString::number(number) : QLatin1Char(' ') + QString::number(number);
}
