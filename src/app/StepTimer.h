#pragma once

#include "session/QuietMoment.h"

#include <QObject>
#include <QSet>
#include <QTimer>

#include <chrono>
#include <memory>

class BrowserRestart;
class Form1;
class Module1;

// Steps Right on its own at a fixed interval, as a signage screen does, counting the time that
// a page has been on show with nobody working in it. The interval starts when the page that a
// step asked for has loaded (or its load has failed), and one interval after the step at the
// latest, so that a page that never finishes still moves on. A page that the user asks for
// counts as a step; the user's input in the page or in the toolbar starts the interval again.
// While any dialog or message box of the program is open, or the user is choosing from the
// toolbar's list, it does not step: it waits until they have closed and then starts again.
// While it runs, the screen is unattended: what nobody asked for raises no box, and a browser
// that ends is started again.
class StepTimer : public QObject
{
    Q_OBJECT
public:
    StepTimer(Module1& m, Form1& toolbar, std::chrono::milliseconds interval);
    ~StepTimer() override;
    StepTimer(const StepTimer&) = delete;
    StepTimer& operator=(const StepTimer&) = delete;

    void start();
    std::chrono::milliseconds interval() const { return m_step.intervalAsDuration(); }
    void setInterval(std::chrono::milliseconds interval);
    // Until the next step or, while a page loads, until its interval starts at the latest;
    // negative while it waits for a dialog or has not been started.
    std::chrono::milliseconds remaining() const { return m_step.remainingTimeAsDuration(); }
    bool awaitingLoad() const { return m_awaitingLoad; }

    // A page was asked for: the interval starts once it has loaded.
    void restart();
    // Someone works in the page or the toolbar: the interval starts again from now.
    void userActive();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watchUser();
    void watchBrowser();
    void browserEnded();
    std::function<void()> later(void (StepTimer::*slot)());
    void pageLoaded();
    void passedOver(const QString& link, const QString& why);
    void elapsed();
    void resumeAfterDialogs();
    bool mustWait() const;

    Module1& m;
    Form1& m_toolbar;
    QTimer m_step;
    QuietMoment m_afterDialogs{nullptr, [this] { return mustWait(); }};
    std::unique_ptr<BrowserRestart> m_restart;
    bool m_awaitingLoad = false;
    QSet<QString> m_passedOver; // logged once each in a run
};
