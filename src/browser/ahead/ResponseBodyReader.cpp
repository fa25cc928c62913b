#include "browser/ahead/ResponseBodyReader.h"

#include "browser/Str.h"
#include "browser/devtools/DevToolsConnection.h"

#include <QJsonObject>

#include <utility>

struct ResponseBodyReader::Read
{
    QString sessionId;
    QJsonValue requestId;
    Done done;
    QString stream;
    // Joined only at the end: a body that grows as one array is copied as it grows, and the
    // copies would double what it holds.
    QList<QByteArray> pieces;
    qsizetype size = 0;
    bool abandoned = false;
};

void ResponseBodyReader::read(const QString& sessionId, const QJsonValue& requestId, Done done)
{
    auto read = std::make_shared<Read>(Read{sessionId, requestId, std::move(done), {}, {}});
    m_reads.append(read);
    m_connection.send(str("Fetch.takeResponseBodyAsStream"), {{str("requestId"), requestId}},
                      sessionId, [this, read](const QJsonObject& reply) {
                          read->stream =
                              reply.value(str("result")).toObject().value(str("stream")).toString();
                          if (read->abandoned)
                              closeStream(*read);
                          else if (read->stream.isEmpty())
                              finish(read, false);
                          else
                              readPiece(read);
                      });
}

void ResponseBodyReader::readPiece(const std::shared_ptr<Read>& read)
{
    m_connection.send(str("IO.read"), {{str("handle"), read->stream}, {str("size"), PieceBytes}},
                      read->sessionId, [this, read](const QJsonObject& reply) {
                          if (read->abandoned)
                              closeStream(*read);
                          else
                              takePiece(read, reply);
                      });
}

void ResponseBodyReader::takePiece(const std::shared_ptr<Read>& read, const QJsonObject& reply)
{
    if (!DevToolsConnection::succeeded(reply)) {
        finish(read, false);
        return;
    }
    const QJsonObject result = reply.value(str("result")).toObject();
    const QString data = result.value(str("data")).toString();
    const QByteArray piece = result.value(str("base64Encoded")).toBool()
                                 ? QByteArray::fromBase64(data.toLatin1())
                                 : data.toUtf8();
    if (m_bytes + piece.size() > m_budget) {
        finish(read, false);
        return;
    }
    read->pieces.append(piece);
    read->size += piece.size();
    m_bytes += piece.size();
    if (result.value(str("eof")).toBool())
        finish(read, true);
    else
        readPiece(read);
}

void ResponseBodyReader::finish(const std::shared_ptr<Read>& read, bool whole)
{
    closeStream(*read);
    QList<QByteArray> pieces = std::exchange(read->pieces, {});
    const qsizetype size = read->size;
    forget(read);
    const Done done = std::move(read->done);
    if (!whole) {
        pieces.clear();
        done(std::nullopt);
        return;
    }
    QByteArray body;
    body.reserve(size);
    for (QByteArray& piece : pieces)
        body += std::exchange(piece, {});
    done(std::move(body));
}

void ResponseBodyReader::abandon(const QString& sessionId)
{
    for (const std::shared_ptr<Read>& read : QList(m_reads)) {
        if (read->sessionId != sessionId)
            continue;
        read->abandoned = true;
        forget(read);
    }
}

void ResponseBodyReader::forget(const std::shared_ptr<Read>& read)
{
    m_bytes -= read->size;
    m_reads.removeOne(read);
    read->pieces.clear();
    read->size = 0;
}

void ResponseBodyReader::closeStream(const Read& read)
{
    if (!read.stream.isEmpty())
        m_connection.send(str("IO.close"), {{str("handle"), read.stream}}, read.sessionId);
}
