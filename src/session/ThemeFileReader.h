#pragma once

#include "session/FileStamp.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

class Failure;
class Module1;

// The open theme file on disk, as the document meets it: read, with the default theme file in
// place of one that is missing, left tidied in place, stamped so that a change that another
// program makes can be told, and its failures told to the user or the log.
class ThemeFileReader
{
public:
    explicit ThemeFileReader(Module1& m);

    // The bytes of `path`. A missing or unnamed file (with `anyOpenFailureIsMissing`, any file
    // that does not open) gives way to the default theme file, and `path` becomes it; none when
    // not even that opens. Any other failure is thrown.
    std::optional<QByteArray> read(QString& path, bool anyOpenFailureIsMissing);
    // Tells that `failed` did not open; whether the default theme file may take its place.
    bool fallBackToDefault(const QString& failed, int number);
    // The links of `content`, which `path` holds. A file on disk is left holding the tidied
    // bytes, and stamped; a list on the web is only read.
    QStringList links(const QString& path, QByteArray content);
    // The link that a load of `path` shows first, read without writing, logging or asking.
    QString firstLinkOf(const QString& path) const;
    // The bytes of `path` when another program has changed it since the last read or write of
    // the program's own. None also while it is gone or cannot be read, which is told once,
    // when it begins.
    std::optional<QByteArray> outsideChange(const QString& path);
    // Another file is open now: its being unreadable is news again.
    void forgetUnreadable() { m_unreadable = false; }
    void reportUnknown(int number);

private:
    bool writeTidied(const QString& path, const QByteArray& tidied, const QByteArray& content);
    void cannotRead(const QString& path, const Failure& failure);

    Module1& m;
    // The file as the last load left it.
    FileStamp m_stamp;
    bool m_unreadable = false; // since a timed step found the file gone or unreadable
};
