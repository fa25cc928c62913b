#include "app/StepTimer.h"

#include "app/ClassicComboBox.h"
#include "app/Form1.h"
#include "platform/Failure.h"
#include "session/BrowserFailure.h"
#include "session/BrowserRestart.h"
#include "session/Handler.h"
#include "session/Module1.h"
#include "session/ThemeDocument.h"

#include <QApplication>
#include <QPointer>
#include <QWindow>

namespace {
bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
        return true;
    default:
        return false;
    }
}
} // namespace

StepTimer::StepTimer(Module1& m, Form1& toolbar, std::chrono::milliseconds interval)
    : m(m), m_toolbar(toolbar)
{
    m_step.setSingleShot(true);
    m_step.setTimerType(Qt::PreciseTimer);
    connect(&m_step, &QTimer::timeout, this, &StepTimer::elapsed);
    setInterval(interval);
    m.unattended = true;
    m_restart = std::make_unique<BrowserRestart>(m, [this] {
        m_toolbar.createBrowserPair();
        watchBrowser();
        restart();
    });
    watchUser();
}

StepTimer::~StepTimer()
{
    m.unattended = false;
}

void StepTimer::watchUser()
{
    connect(&m_toolbar, &Form1::pageAsked, this, &StepTimer::restart);
    qApp->installEventFilter(this);
    watchBrowser();
}

void StepTimer::watchBrowser()
{
    if (!m.MainBrowser)
        return;
    try {
        m.MainBrowser->watchEnd(later(&StepTimer::browserEnded));
        m.MainBrowser->watchUserInput(later(&StepTimer::userActive));
        m.MainBrowser->watchPageLoads(later(&StepTimer::pageLoaded));
        m.MainBrowser->watchPassedOver(
            [self = QPointer<StepTimer>(this)](const QString& link, const QString& why) {
                if (self)
                    QTimer::singleShot(0, self, [self, link, why] { self->passedOver(link, why); });
            });
    } catch (const Failure&) {
        // Without the browser's reports the interval counts from the step; the next step meets
        // the failure on its own path.
    }
}

// The browser reports while the program may be waiting for one of its answers, in the middle
// of a handler; the report is taken from the event loop, after that handler.
std::function<void()> StepTimer::later(void (StepTimer::*slot)())
{
    return [self = QPointer<StepTimer>(this), slot] {
        if (self)
            QTimer::singleShot(0, self, slot);
    };
}

void StepTimer::setInterval(std::chrono::milliseconds interval)
{
    m_step.setInterval(interval);
}

void StepTimer::start()
{
    restart();
}

void StepTimer::restart()
{
    m_afterDialogs.cancel();
    m_awaitingLoad = true;
    m_step.start();
}

void StepTimer::userActive()
{
    // Waiting for a dialog, or not started: the close of the dialog or the start counts.
    if (m_step.isActive())
        m_step.start();
}

void StepTimer::pageLoaded()
{
    if (!m_awaitingLoad || !m_step.isActive())
        return;
    m_awaitingLoad = false;
    m_step.start();
}

void StepTimer::browserEnded()
{
    runHandler(m, [this] { BrowserFailure(m); });
}

void StepTimer::passedOver(const QString& link, const QString& why)
{
    if (m_passedOver.contains(link))
        return;
    m_passedOver.insert(link);
    runHandler(m, [this, &link, &why] {
        m.WriteLogLine(QStringLiteral(" Timed step passed over ") + why + QStringLiteral(": ") +
                       link);
    });
}

// The user's own input reaches the toolbar's window, spontaneous; a test's keys reach its
// widgets.
bool StepTimer::eventFilter(QObject* watched, QEvent* event)
{
    if (!event->spontaneous() || !isUserInput(event->type()))
        return false;
    const QWidget* widget = watched->isWidgetType() ? static_cast<QWidget*>(watched) : nullptr;
    if (watched == m_toolbar.windowHandle() || (widget && widget->window() == &m_toolbar))
        userActive();
    return false;
}

void StepTimer::elapsed()
{
    if (m_awaitingLoad) {
        // A page that has not finished loading in a whole interval: its interval starts now.
        m_awaitingLoad = false;
        m_step.start();
        return;
    }
    if (mustWait()) {
        m_afterDialogs.run([this] { resumeAfterDialogs(); });
        return;
    }
    // Before the step: its page may report its load while the step still runs.
    m_awaitingLoad = true;
    runHandler(m, [this] { m.theme().TimedStep(); });
    m_step.start();
}

// The page on show has been there all along; its interval starts now.
void StepTimer::resumeAfterDialogs()
{
    m_awaitingLoad = false;
    m_step.start();
}

// While the user is in a dialog or chooses from the toolbar's list.
bool StepTimer::mustWait() const
{
    return QuietMoment::windowOpenBeside(&m_toolbar) || m_toolbar.Combo1->listShown();
}
