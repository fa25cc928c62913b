#include "app/StepTimer.h"

#include "app/ClassicComboBox.h"
#include "app/Form1.h"
#include "app/StepKeys.h"
#include "session/Handler.h"
#include "session/Module1.h"
#include "session/ThemeDocument.h"

#include <QApplication>
#include <QPushButton>

namespace {
// How often a waiting timer looks whether the dialogs have closed.
constexpr std::chrono::milliseconds dialogCheckEvery{250};
} // namespace

StepTimer::StepTimer(Module1& m, Form1& toolbar, std::chrono::milliseconds interval)
    : m(m), m_toolbar(toolbar)
{
    m_step.setSingleShot(true);
    m_step.setTimerType(Qt::PreciseTimer);
    connect(&m_step, &QTimer::timeout, this, &StepTimer::stepOrWait);
    connect(&m_dialogCheck, &QTimer::timeout, this, &StepTimer::resumeAfterDialogs);
    setInterval(interval);
    watchUserSteps();
}

void StepTimer::watchUserSteps()
{
    // Left, Right and the two buttons that show a fixed page: each shows the user a page.
    for (const char* name : {"Command2", "Command4", "Command3", "Command8"})
        connect(m_toolbar.findChild<QPushButton*>(QString::fromLatin1(name)), &QPushButton::clicked,
                this, &StepTimer::restart);
    connect(m_toolbar.Combo1, &ClassicComboBox::picked, this, &StepTimer::restart);
    connect(m_toolbar.stepKeys(), &StepKeys::stepped, this, &StepTimer::restart);
}

void StepTimer::setInterval(std::chrono::milliseconds interval)
{
    m_step.setInterval(interval);
    m_dialogCheck.setInterval(std::min(interval, dialogCheckEvery));
}

void StepTimer::start()
{
    restart();
}

void StepTimer::restart()
{
    m_dialogCheck.stop();
    m_step.start();
}

void StepTimer::stepOrWait()
{
    if (dialogOpen()) {
        m_dialogCheck.start();
        return;
    }
    runHandler(m, [this] { m.theme().TimedStep(); });
    m_step.start();
}

void StepTimer::resumeAfterDialogs()
{
    if (!dialogOpen())
        restart();
}

// Message boxes and the file-open dialog are modal; the program's own dialogs are windows of
// their own. Pop-ups and tooltips are neither and do not hold the timer.
bool StepTimer::dialogOpen() const
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [this](const QWidget* window) {
        const Qt::WindowType type = window->windowType();
        return window != &m_toolbar && window->isVisible() &&
               (type == Qt::Window || type == Qt::Dialog);
    });
}
