#pragma once

#include <QObject>

#include <functional>
#include <memory>

class BrowserTimer;
class DevToolsConnection;

// Tells once that the browser at the other end is gone. One that has ended closes its pipe; one
// that hangs keeps it open and answers nothing, which the next operation might meet only much
// later, or never when none of them waits: so it is asked a question every AskEveryMs, and one
// left unanswered for the reply time tells too.
class BrowserEndWatch : public QObject
{
public:
    static constexpr int AskEveryMs = 1000;

    BrowserEndWatch(DevToolsConnection& connection, std::function<void()> gone, QObject* parent);
    ~BrowserEndWatch() override;

private:
    void ask();
    void tell();

    DevToolsConnection& m_connection;
    std::function<void()> m_gone;
    std::unique_ptr<BrowserTimer> m_next;
    qint64 m_askedAt = -1; // while its answer is awaited
};
