#include "themefile/LineCodec.h"

#include <array>

namespace {
// 0x80..0x9F of Windows-1252; 0 marks the five bytes that it leaves undefined, which are
// shown as the C1 control of the same value.
constexpr std::array<char16_t, 32> high = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char16_t toUnicode(uchar byte)
{
    if (byte >= 0x80 && byte <= 0x9F && high[byte - 0x80] != 0)
        return high[byte - 0x80];
    return byte;
}
} // namespace

bool LineCodec::isValidUtf8(QByteArrayView bytes)
{
    return bytes.isValidUtf8();
}

QString LineCodec::fromWindows1252(QByteArrayView bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char byte : bytes)
        text.append(QChar(toUnicode(uchar(byte))));
    return text;
}

std::optional<QByteArray> LineCodec::toWindows1252(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar character : text) {
        const char16_t code = character.unicode();
        if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
            bytes.append(char(code));
            continue;
        }
        bool found = false;
        for (int byte = 0x80; byte < 0xA0 && !found; ++byte) {
            if (toUnicode(uchar(byte)) == code) {
                bytes.append(char(byte));
                found = true;
            }
        }
        if (!found)
            return std::nullopt;
    }
    return bytes;
}

QString LineCodec::decode(const QByteArray& line)
{
    return isValidUtf8(line) ? QString::fromUtf8(line) : fromWindows1252(line);
}

bool LineCodec::isWindows1252File(const QByteArray& content)
{
    return !isValidUtf8(content);
}

QByteArray LineCodec::encode(const QString& text, bool windows1252File)
{
    if (windows1252File) {
        if (const auto bytes = toWindows1252(text))
            return *bytes;
    }
    return text.toUtf8();
}
