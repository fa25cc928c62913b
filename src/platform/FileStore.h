#pragma once

#include <QByteArray>
#include <QString>

// Whole-file operations that must never leave a theme file missing, short or half-written.
class FileStore
{
public:
    // Whether anything at all (file, folder, dangling link) has this name.
    static bool exists(const QString& path);
    // Replaces the file's content atomically in its own folder: at every moment the path holds
    // either the old or the new bytes. Failures carry their number (75, 61, 76, ...).
    static void replace(const QString& path, const QByteArray& bytes);
    // Appends the bytes to the file itself (a missing file is created) in one write and syncs
    // them. A failed or short write cuts the file back to its old length, so that it holds its
    // old bytes or those and all the new ones, never a part of them.
    static void append(const QString& path, const QByteArray& bytes);
    // Creates a new file with these bytes; never opens an existing one (75 when one exists).
    static void createExclusive(const QString& path, const QByteArray& bytes);
};
