#include "links/format/ThemeTidy.h"

QByteArray ThemeTidy::tidy(const QByteArray& content)
{
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
