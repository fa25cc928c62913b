#pragma once

#include <QByteArray>

// The tidying that every load applies to a theme file: its non-empty lines, in order, each
// ending with CR LF. A line ends at CR LF, at a lone CR or at the end of the data; a lone LF
// stays inside its line. Every byte of a kept line is kept, whatever its encoding.
class ThemeTidy
{
public:
    static QByteArray tidy(const QByteArray& content);
};
