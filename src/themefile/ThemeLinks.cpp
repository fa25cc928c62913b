#include "themefile/ThemeLinks.h"

#include "themefile/FieldReader.h"
#include "themefile/LineCodec.h"

namespace {
// Remembers the last line's verdict, so that every line is checked once.
class LineEncoding
{
public:
    bool isUtf8(QByteArrayView line)
    {
        if (line.constData() != m_line.constData() || line.size() != m_line.size()) {
            m_line = line;
            m_utf8 = LineCodec::isValidUtf8(line);
        }
        return m_utf8;
    }

private:
    QByteArrayView m_line;
    bool m_utf8 = true;
};
} // namespace

ThemeLinks::Result ThemeLinks::read(const QByteArray& tidied, int limit)
{
    Result result;
    FieldReader reader(tidied);
    LineEncoding encoding;
    while (!reader.atEnd()) {
        if (result.links.size() >= limit) {
            result.overflow = true;
            break;
        }
        const QByteArrayView field = reader.readFieldView();
        // A quoted field may run on into lines of another encoding; it must then hold up too.
        const bool utf8 = encoding.isUtf8(reader.lastFieldLine()) && LineCodec::isValidUtf8(field);
        result.links << (utf8 ? QString::fromUtf8(field) : LineCodec::fromWindows1252(field));
    }
    return result;
}
