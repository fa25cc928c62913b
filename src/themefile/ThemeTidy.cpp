#include "themefile/ThemeTidy.h"

#include "platform/LineSplitter.h"

namespace {
bool endsWithCrLf(const TextLine& line)
{
    return line.next == line.end + 2;
}

// Non-empty lines, each ending with CR LF: nothing to change, and nothing to copy.
bool isTidy(const QByteArray& content)
{
    for (qsizetype pos = 0; pos < content.size();) {
        const TextLine line = LineSplitter::lineAt(content, pos);
        if (line.end == line.start || !endsWithCrLf(line))
            return false;
        pos = line.next;
    }
    return true;
}
} // namespace

QByteArray ThemeTidy::tidy(const QByteArray& content)
{
    if (isTidy(content))
        return content;
    QByteArray tidied;
    tidied.reserve(content.size() + 2);
    for (qsizetype pos = 0; pos < content.size();) {
        const TextLine line = LineSplitter::lineAt(content, pos);
        if (line.end > line.start) {
            tidied.append(content.constData() + line.start, line.end - line.start);
            tidied.append("\r\n", 2);
        }
        pos = line.next;
    }
    return tidied;
}
