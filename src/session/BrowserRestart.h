#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>

class Module1;

// On an unattended screen a browser that ends (a crash, a kill, a broken pipe, a browser that no
// longer answers) is started again: a new pair shows the link that was on show, and the steps go
// on from it. A browser that keeps ending is started at most `Burst` times in `Window`; after
// that it is tried once every `Pause`, so that one that cannot live never keeps the machine busy.
// Times come from the platform's clock, which tests move; the timer only prompts a look at it.
class BrowserRestart : public QObject
{
public:
    static constexpr int Burst = 5;
    static constexpr std::chrono::minutes Window{10};
    static constexpr std::chrono::minutes Pause{1};

    // `startPair` makes and places a new pair, MainBrowser and PrefetchBrowser, and watches it
    // as the first one was; it throws the failure of a browser that does not start.
    BrowserRestart(Module1& m, std::function<void()> startPair);
    ~BrowserRestart() override;
    BrowserRestart(const BrowserRestart&) = delete;
    BrowserRestart& operator=(const BrowserRestart&) = delete;

    // The browser has ended or failed, maybe in the middle of a call to it: the restart runs
    // from the event loop, once however many of its calls fail meanwhile.
    void browserEnded();
    // Runs the restart that is due; one that must wait for its minute waits on.
    void tryAgain();
    // Whether a restart is still to come, and whether it waits for its minute; how long, by
    // the timer.
    bool pending() const { return m_pending; }
    bool waiting() const { return m_pending && m_retry.isActive() && m_retry.interval() > 0; }
    std::chrono::milliseconds remaining() const { return m_retry.remainingTimeAsDuration(); }

private:
    void restart();

    Module1& m;
    std::function<void()> m_startPair;
    QTimer m_retry;
    QList<QDateTime> m_restarts; // within the last Window
    QString m_reason;
    bool m_pending = false;
    bool m_paused = false; // trying once a minute; said once
};
