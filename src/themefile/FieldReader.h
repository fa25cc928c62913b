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
// - A comma at the end of a line yields one more, empty field, also when it is the very last
//   byte of the data: the file reads the links of its tidied bytes, which end it with CR LF.
class FieldReader
{
public:
    explicit FieldReader(const QByteArray& data);

    bool atEnd() const { return m_pos >= m_data.size() && !m_afterComma; }
    QByteArray readField();
    // The same field as a view into the data, valid as long as the reader.
    QByteArrayView readFieldView();
    // The text between line ends (CR or LF) on which the last field began: a link is decoded
    // with the encoding of its line, and a lone LF ends a line for that as it ends a field,
    // so that the links do not depend on the line-end style.
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
    // A comma was the last terminator: one more field follows, if only an empty one.
    bool m_afterComma = false;
    // The line on which the last field began, and the text between line ends around it.
    TextLine m_line;
    qsizetype m_textStart = 0;
    qsizetype m_textEnd = 0;
};
