#pragma once

#include <QByteArray>
#include <QString>

// The record that Grab adds to a theme file: the link on a line of its own, ending with
// CR LF. A last line without a line end is ended first; a file that already ends with one
// gets no empty line, so that the next load has nothing to tidy and leaves the file itself
// (its owner, its other names) alone.
class LinkRecord
{
public:
    static QByteArray bytes(const QString& text, const QByteArray& content);
    // Appends the record to the file itself in one write: the file then holds its old bytes,
    // or those and the whole record. A missing file is created.
    static void appendTo(const QString& path, const QString& text);
};
