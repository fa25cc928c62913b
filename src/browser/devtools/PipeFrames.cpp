#include "browser/devtools/PipeFrames.h"

#include "browser/Str.h"

namespace PipeFrames {

FrameStart frameStart(QByteArrayView text)
{
    constexpr QByteArrayView answerStart(R"({"id":)");
    constexpr QByteArrayView eventStart(R"({"method":")");
    if (text.startsWith(answerStart)) {
        qsizetype end = answerStart.size();
        while (end < text.size() && end - answerStart.size() <= 10 && text[end] >= '0' &&
               text[end] <= '9')
            ++end;
        bool isNumber = false;
        const int id = text.sliced(answerStart.size(), end - answerStart.size()).toInt(&isNumber);
        if (end < text.size() && isNumber)
            return {FrameStart::Answer, id, {}};
    } else if (text.startsWith(eventStart)) {
        const qsizetype end = text.indexOf('"', eventStart.size());
        if (end >= 0)
            return {FrameStart::Event, 0, text.sliced(eventStart.size(), end - eventStart.size())};
    }
    return {};
}

QString sessionAtEnd(QByteArrayView tail)
{
    constexpr QByteArrayView key(R"(,"sessionId":")");
    const qsizetype at = tail.lastIndexOf(key);
    if (at < 0 || at + key.size() > tail.size() - 2 || !tail.endsWith("\"}"))
        return {};
    const QByteArrayView id = tail.sliced(at + key.size(), tail.size() - 2 - at - key.size());
    return id.contains('"') || id.contains('\\') ? QString() : QString::fromLatin1(id);
}

QJsonObject answerTooLarge(int id)
{
    return {{str("id"), id},
            {str("error"), QJsonObject{{str("code"), -32000},
                                       {str("message"), str("The answer was too large to read")}}}};
}

} // namespace PipeFrames
