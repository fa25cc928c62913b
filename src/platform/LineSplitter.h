#pragma once

#include <QByteArrayView>

// Where a line of 8-bit text lies in its data: `start` to `end` is its text, `next` the start
// of the line after it.
struct TextLine
{
    qsizetype start = 0;
    qsizetype end = 0;
    qsizetype next = 0;
};

// The one line rule of every reader of theme files: a line ends at CR LF, at a CR not
// followed by LF, or at the end of the data; a lone LF stays part of the line.
class LineSplitter
{
public:
    // The line that begins at `start`; at the end of the data, an empty line there.
    static TextLine lineAt(QByteArrayView data, qsizetype start);
};
