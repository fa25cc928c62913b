#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>

class Form1;
class Module1;

// Steps Right on its own at a fixed interval, as a signage screen does. A page that the user
// has asked for (Left, Right, a pick from the list, a step key, Corvane, Support) starts the
// interval again, so that it is not stepped away from at once. While any dialog or message box
// of the program is open it does not step: it waits until the last one has closed and then
// starts the interval again.
class StepTimer : public QObject
{
    Q_OBJECT
public:
    StepTimer(Module1& m, Form1& toolbar, std::chrono::milliseconds interval);

    void start();
    std::chrono::milliseconds interval() const { return m_step.intervalAsDuration(); }
    void setInterval(std::chrono::milliseconds interval);
    // Until the next step; negative while it waits for a dialog or has not been started.
    std::chrono::milliseconds remaining() const { return m_step.remainingTimeAsDuration(); }

    void restart();

private:
    void watchUserSteps();
    void stepOrWait();
    void resumeAfterDialogs();
    bool dialogOpen() const;

    Module1& m;
    Form1& m_toolbar;
    QTimer m_step;
    QTimer m_dialogCheck;
};
