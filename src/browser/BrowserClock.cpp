#include "browser/BrowserClock.h"

#include <QDeadlineTimer>
#include <QTimer>

#include <cerrno>
#include <poll.h>

namespace {
class QtTimer : public BrowserTimer
{
public:
    QtTimer()
    {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { fired(); });
    }
    void start(int ms) override { m_timer.start(ms); }
    void stop() override { m_timer.stop(); }
    int remainingMs() const override { return m_timer.remainingTime(); }

private:
    QTimer m_timer;
};

class QtClock : public BrowserClock
{
public:
    std::unique_ptr<BrowserTimer> timer() override { return std::make_unique<QtTimer>(); }
    qint64 nowMs() const override { return QDeadlineTimer::current().deadline(); }
    bool waitForInput(int fd, int ms) override
    {
        const QDeadlineTimer deadline(ms);
        pollfd entry{fd, POLLIN, 0};
        for (;;) {
            const qint64 left = deadline.remainingTime();
            const int result = poll(&entry, 1, left < 0 ? -1 : int(qMin<qint64>(left, 1 << 30)));
            if (result >= 0 || errno != EINTR)
                // An error is met by the read that follows.
                return result != 0;
        }
    }
};
} // namespace

BrowserClock& BrowserClock::qt()
{
    static QtClock clock;
    return clock;
}
