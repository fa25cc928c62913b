#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include "platform/LineSplitter.h"

// Reads the comma-separated fields of a theme file the way the classic "Input #" statement
// of the old BASIC dialects read a text file into string variables:
//
// - Fields are read while the data is not at its end; each read consumes its terminator.
// - Blanks (spaces and tabs) before a field are skipped.
// - An unquoted field ends at a comma, a CR (with the LF after it), a lone LF or the end of
//   the data; its trailing blanks are dropped. A lone LF thus ends a field as a line end
//   does, although the file itself keeps it inside the line.
// - An empty line yields no field, whatever ends it: a file written with LF line ends reads
//   the links of the same file written with CR LF.
// - A field that starts with a double quote runs to the next double quote, commas and line
//   ends included, and loses both quotes; without a closing quote anywhere after it, it runs
//   to the end of its line. After the closing quote everything up to the next comma or line end is
//   skipped.
// - A line that holds nothing but blanks yields one empty field.
// - A comma at the end of a line yields one more, empty field when a line end follows it
//   (always, in a tidied file); a comma that is the very last byte of the data yields none,
//   since the data is then at its end.
class FieldReader
{
public:
    explicit FieldReader(const QByteArray& data);

    bool atEnd() const { return m_pos >= m_data.size(); }
    QByteArray readField();
    // The same field as a view into the data, valid as long as the reader.
    QByteArrayView readFieldView();
    // The line of the file (up to its CR, lone LFs included) on which the last field began:
    // a link is decoded with the encoding of its line.
    QByteArrayView lastFieldLine() const;

private:
    void skipBlanks();
    QByteArrayView data() const { return m_data; }
    QByteArrayView readQuoted();
    QByteArrayView readUnquoted();
    void skipToTerminator();
    void consumeTerminator();
    void skipEmptyLines();
    void followLine(qsizetype fieldStart);

    const QByteArray m_data;
    qsizetype m_pos = 0;
    // The line on which the last field began.
    TextLine m_line;
};
