#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class DevToolsConnection;

// Reads the bodies of paused responses as streams, decoded, in pieces. All the reads in flight
// share one budget of decoded bytes: a page and its frames, however large or however well
// compressed, never hold more of the program's memory than that.
class ResponseBodyReader
{
public:
    // The whole body, or nothing when it did not arrive or ran past the budget.
    using Done = std::function<void(std::optional<QByteArray> body)>;

    static constexpr qint64 PieceBytes = qint64{1} * 1024 * 1024;

    ResponseBodyReader(DevToolsConnection& connection, qsizetype budgetBytes)
        : m_connection(connection), m_budget(budgetBytes)
    {}

    // Takes the body of a request paused at the response stage; `done` runs once, unless the
    // read is abandoned first. The request can then only be fulfilled or failed.
    void read(const QString& sessionId, const QJsonValue& requestId, Done done);
    // Gives up the session's reads in flight, without calling their `done`.
    void abandon(const QString& sessionId);

private:
    struct Read;
    void readPiece(const std::shared_ptr<Read>& read);
    void takePiece(const std::shared_ptr<Read>& read, const QJsonObject& reply);
    void finish(const std::shared_ptr<Read>& read, bool whole);
    void closeStream(const Read& read);
    void forget(const std::shared_ptr<Read>& read);

    DevToolsConnection& m_connection;
    qsizetype m_budget;
    qsizetype m_bytes = 0;
    QList<std::shared_ptr<Read>> m_reads;
};
