#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// Theme files are bytes. A line is shown as UTF-8 when it is valid UTF-8, else as
// Windows-1252; text that comes back from a window is written in the file's own encoding.
class LineCodec
{
public:
    static bool isValidUtf8(QByteArrayView bytes);
    static QString decode(const QByteArray& line);
    // A file reads as Windows-1252 when any of its bytes is not valid UTF-8.
    static bool isWindows1252File(const QByteArray& content);
    // UTF-8, or Windows-1252 when the file reads that way and every character fits.
    static QByteArray encode(const QString& text, bool windows1252File);

    static QString fromWindows1252(QByteArrayView bytes);
    // Empty optional when a character has no Windows-1252 byte.
    static std::optional<QByteArray> toWindows1252(const QString& text);
};
