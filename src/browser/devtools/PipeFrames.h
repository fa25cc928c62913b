#pragma once

#include <QByteArrayView>
#include <QJsonObject>
#include <QString>

// What the pipe reads of a frame from its start as it streams in, before it is whole.
namespace PipeFrames {

// What the first bytes of a frame say, in the shape that the browser writes: the answer to a
// command, or an event of a method. Unknown until enough has come, and for any other shape.
struct FrameStart
{
    enum Kind { Unknown, Answer, Event } kind = Unknown;
    int id = 0;
    QByteArrayView method;
};

FrameStart frameStart(QByteArrayView text);

// The session named at the end of a frame (`,"sessionId":"..."}`); empty when none is.
QString sessionAtEnd(QByteArrayView tail);

// The answer that stands in for one too large to read.
QJsonObject answerTooLarge(int id);

} // namespace PipeFrames
