#include "links/format/ThemeTidy.h"

namespace {
// Non-empty lines, each ending with CR LF: nothing to change, and nothing to copy.
bool isTidy(const QByteArray& content)
{
    if (!content.isEmpty() && !content.endsWith("\r\n"))
        return false;
    qsizetype pos = 0;
    while (pos < content.size()) {
        const qsizetype cr = content.indexOf('\r', pos);
        if (cr == pos || content.at(cr + 1) != '\n')
            return false;
        pos = cr + 2;
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
    const qsizetype size = content.size();
    qsizetype pos = 0;
    while (pos < size) {
        const qsizetype cr = content.indexOf('\r', pos);
        const qsizetype end = cr < 0 ? size : cr;
        if (end > pos) {
            tidied.append(content.constData() + pos, end - pos);
            tidied.append("\r\n", 2);
        }
        pos = cr < 0 ? size : cr + 1;
        if (cr >= 0 && pos < size && content.at(pos) == '\n')
            ++pos;
    }
    return tidied;
}
