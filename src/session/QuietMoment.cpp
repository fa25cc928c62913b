#include "session/QuietMoment.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

#include <algorithm>
#include <utility>

bool QuietMoment::modalOpen()
{
    return QApplication::activeModalWidget() != nullptr;
}

bool QuietMoment::modalOrPopupOpen()
{
    return modalOpen() || QApplication::activePopupWidget();
}

// Message boxes and the file-open dialog are modal; the program's own dialogs are windows of
// their own.
bool QuietMoment::windowOpenBeside(const QWidget* main)
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [main](const QWidget* window) {
        const Qt::WindowType type = window->windowType();
        return window != main && window->isVisible() && (type == Qt::Window || type == Qt::Dialog);
    });
}

QuietMoment::QuietMoment(QObject* parent, std::function<bool()> busy)
    : QObject(parent), m_busy(std::move(busy))
{
    m_afterHide.setSingleShot(true);
    m_afterHide.setInterval(0);
    connect(&m_afterHide, &QTimer::timeout, this, &QuietMoment::check);
}

void QuietMoment::run(std::function<void()> then)
{
    m_waiting = std::move(then);
    check();
}

void QuietMoment::cancel()
{
    m_waiting = nullptr;
    check();
}

// Only while something waits does it see the application's events.
void QuietMoment::check()
{
    QCoreApplication::instance()->removeEventFilter(this);
    m_afterHide.stop();
    if (!m_waiting)
        return;
    if (m_busy()) {
        QCoreApplication::instance()->installEventFilter(this);
        return;
    }
    std::exchange(m_waiting, nullptr)();
}

bool QuietMoment::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Hide && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->isWindow())
        m_afterHide.start();
    return false;
}
