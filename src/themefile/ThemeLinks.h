#pragma once

#include <QByteArray>
#include <QStringList>

// The links of a tidied theme file: its fields in order, each decoded for display with the
// encoding of the line it stands on (UTF-8 when that line is valid UTF-8, else
// Windows-1252).
class ThemeLinks
{
public:
    struct Result
    {
        QStringList links;
        // More fields followed the first `limit` ones.
        bool overflow = false;
    };

    static Result read(const QByteArray& tidied, int limit);
};
