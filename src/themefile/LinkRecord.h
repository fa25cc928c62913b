#pragma once

#include <QByteArray>
#include <QString>

// The record that a link adds to a theme file: the link on a line of its own, ending with
// CR LF. A last line without a line end is ended first; a file that already ends with one
// gets no empty line, so that the next load has nothing to tidy and leaves the file itself
// (its owner, its other names) alone.
class LinkRecord
{
public:
    // The bytes to append to a file that holds `content`.
    static QByteArray bytes(const QString& text, const QByteArray& content);
};
