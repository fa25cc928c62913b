#include "themefile/FieldReader.h"

#include "platform/LineSplitter.h"

namespace {
bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isTerminator(char c)
{
    return c == ',' || c == '\r' || c == '\n';
}

qsizetype nextLineEnd(const QByteArray& data, qsizetype from)
{
    while (from < data.size() && data.at(from) != '\r' && data.at(from) != '\n')
        ++from;
    return from;
}
} // namespace

FieldReader::FieldReader(const QByteArray& data)
    : m_data(data), m_line(LineSplitter::lineAt(m_data, 0)), m_textEnd(nextLineEnd(m_data, 0))
{
    skipEmptyLines();
}

QByteArray FieldReader::readField()
{
    return readFieldView().toByteArray();
}

QByteArrayView FieldReader::readFieldView()
{
    m_afterComma = false;
    skipBlanks();
    followLine(m_pos);
    if (m_pos < m_data.size() && m_data.at(m_pos) == '"')
        return readQuoted();
    return readUnquoted();
}

void FieldReader::skipBlanks()
{
    while (m_pos < m_data.size() && isBlank(m_data.at(m_pos)))
        ++m_pos;
}

QByteArrayView FieldReader::readQuoted()
{
    const qsizetype open = m_pos;
    const qsizetype close = m_data.indexOf('"', open + 1);
    if (close < 0) {
        // A stray quote with none to close it takes its own line, not the rest of the list.
        m_pos = m_line.end;
        const QByteArrayView field = data().sliced(open + 1, m_pos - open - 1);
        consumeTerminator();
        return field;
    }
    m_pos = close + 1;
    skipToTerminator();
    consumeTerminator();
    return data().sliced(open + 1, close - open - 1);
}

QByteArrayView FieldReader::readUnquoted()
{
    const qsizetype start = m_pos;
    skipToTerminator();
    qsizetype end = m_pos;
    while (end > start && isBlank(m_data.at(end - 1)))
        --end;
    consumeTerminator();
    return data().sliced(start, end - start);
}

void FieldReader::skipToTerminator()
{
    while (m_pos < m_data.size() && !isTerminator(m_data.at(m_pos)))
        ++m_pos;
}

void FieldReader::consumeTerminator()
{
    if (m_pos >= m_data.size())
        return;
    const char terminator = m_data.at(m_pos++);
    if (terminator == '\r' && m_pos < m_data.size() && m_data.at(m_pos) == '\n')
        ++m_pos;
    m_afterComma = terminator == ',';
    if (!m_afterComma)
        skipEmptyLines();
}

// Line ends straight after a line end are empty lines, whichever of CR LF, a lone CR or a
// lone LF ends them: no link, so that a file reads the same links in every line-end style.
void FieldReader::skipEmptyLines()
{
    while (m_pos < m_data.size() && (m_data.at(m_pos) == '\r' || m_data.at(m_pos) == '\n'))
        ++m_pos;
}

void FieldReader::followLine(qsizetype fieldStart)
{
    // Each line is passed once, so following the lines costs no more than reading the data.
    while (fieldStart > m_line.end)
        m_line = LineSplitter::lineAt(m_data, m_line.next);
    while (fieldStart > m_textEnd) {
        m_textStart = m_textEnd + 1;
        m_textEnd = nextLineEnd(m_data, m_textStart);
    }
}

QByteArrayView FieldReader::lastFieldLine() const
{
    return data().sliced(m_textStart, m_textEnd - m_textStart);
}
