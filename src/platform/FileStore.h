#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The program's one way to touch a file: one read, one whole-file save and one append, each
// opening and closing the file within the call. Every failure is a Failure with its number
// (53 no such file, 76 no such folder, 75 refused, 61 disk full, ...). None of them leaves a
// theme file missing, short or half-written.
class FileStore
{
public:
    // Whether anything at all (file, folder, dangling link) has this name.
    static bool exists(const QString& path);

    // What tells one version of a file's bytes from another short of reading them. A filesystem
    // that keeps times to the second or two can show a rewrite of the same size as unchanged.
    struct Status
    {
        qint64 size = 0;
        qint64 modifiedNs = 0;
        quint64 device = 0;
        quint64 inode = 0;
        bool operator==(const Status&) const = default;
    };
    // The status of whatever the name leads to; none when nothing is there.
    static std::optional<Status> status(const QString& path);
    // The most bytes a file may hold to be read whole or saved. A theme file is a few hundred
    // links: past this it is no theme file, and holding it (and its tidied copy) would take
    // the memory of the desktop.
    static constexpr qsizetype MaxBytes = 64 * 1024 * 1024;
    // The file's bytes, at most `limit` of them (0 proves that it opens for reading). Read
    // whole (no limit), a file of more than MaxBytes fails with 7 and none of it is read. Only
    // a plain file is read: a folder, a pipe or a device is refused (75) without waiting.
    static QByteArray read(const QString& path, qsizetype limit = -1);
    // Replaces the file's content atomically in its own folder: at every moment the path holds
    // either the old or the new bytes. A read-only file stays as it is; more than MaxBytes
    // fails with 7 and writes nothing.
    static void save(const QString& path, const QByteArray& bytes);

    enum class Create {
        IfMissing,
        New, // never opens an existing name (75); a new file that fails is removed again
    };
    // Appends the bytes in one write and syncs them. A failed or short write cuts the file back
    // to its old length, so that it holds its old bytes or those and all the new ones.
    static void append(const QString& path, const QByteArray& bytes,
                       Create create = Create::IfMissing);
};
