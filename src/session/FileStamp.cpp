#include "session/FileStamp.h"

#include "platform/Failure.h"

#include <QDateTime>
#include <QHash>

namespace {
constexpr qint64 coarsestTimesNs = 2'000'000'000;

// The file's times come from the same wall clock, not from the program's own clock.
qint64 nowNs()
{
    return QDateTime::currentMSecsSinceEpoch() * 1'000'000;
}
} // namespace

void FileStamp::take(const QString& path, const QByteArray& bytes)
{
    m_takenNs = nowNs();
    m_status = FileStore::status(path);
    m_hash = qHash(bytes);
}

std::optional<QByteArray> FileStamp::changedBytes(const QString& path)
{
    const qint64 now = nowNs();
    const std::optional<FileStore::Status> status = FileStore::status(path);
    if (!status)
        throw Failure(FailureNumber::FileNotFound);
    // Not read again until it changes.
    if (status == m_tooLarge)
        throw Failure(FailureNumber::OutOfMemory);
    const bool settled = m_status && m_status->modifiedNs + coarsestTimesNs <= m_takenNs;
    if (status == m_status && settled)
        return std::nullopt;
    QByteArray bytes;
    try {
        bytes = FileStore::read(path);
    } catch (const Failure& failure) {
        if (failure.number() == FailureNumber::OutOfMemory)
            m_tooLarge = status;
        throw;
    }
    if (qHash(bytes) != m_hash)
        return bytes;
    // The same bytes (touched, or put back as they were): only the look of the file is new.
    m_status = status;
    m_takenNs = now;
    return std::nullopt;
}
