#pragma once

#include "platform/FileStore.h"

#include <QByteArray>
#include <QString>

#include <optional>

// What a file held when the program last read or wrote it, so that a change made by another
// program can be told at every timed step for the price of one stat. While the file's time is
// less than two seconds older than the stamp, a filesystem that keeps times to the second (or
// to two, as FAT does) could hide a rewrite of the same size: until then the bytes are
// compared as well.
class FileStamp
{
public:
    // `path` holds `bytes` now.
    void take(const QString& path, const QByteArray& bytes);
    // The file's bytes when they differ from the stamped ones; none while they are the same.
    // A file that is gone (53) or cannot be read fails and leaves the stamp as it was; one
    // grown past what the program reads (7) is not read again until it changes.
    std::optional<QByteArray> changedBytes(const QString& path);

private:
    std::optional<FileStore::Status> m_status;
    std::optional<FileStore::Status> m_tooLarge;
    size_t m_hash = 0;
    qint64 m_takenNs = 0;
};
