#pragma once

#include <QByteArray>
#include <QString>

// The record that Grab adds to a theme file: CR LF, the link, CR LF. The leading line end
// finishes a last line that has none; the empty line it leaves otherwise goes at the next
// load.
class LinkRecord
{
public:
    // A comma would split the link into two fields when the list is read, so such a text
    // goes between double quotes. A text with a double quote of its own cannot be quoted
    // and stays as typed.
    static QString asField(const QString& text);
    static QByteArray bytes(const QString& text, bool windows1252File);
    // Writes the file's content and the record in one atomic replacement, so that a failed
    // write leaves the file as it was. A missing file is created.
    static void appendTo(const QString& path, const QString& text);
};
