#include "session/QuietMoment.h"

#include <QApplication>

#include <utility>

namespace {
// Dialogs and popups close on the user's own time; a look this often is not noticed.
constexpr std::chrono::milliseconds checkEvery{100};
} // namespace

QuietMoment::QuietMoment(QObject* parent) : QObject(parent)
{
    m_check.setInterval(checkEvery);
    connect(&m_check, &QTimer::timeout, this, &QuietMoment::check);
}

bool QuietMoment::now()
{
    return !QApplication::activeModalWidget() && !QApplication::activePopupWidget();
}

void QuietMoment::run(std::function<void()> then)
{
    m_waiting = std::move(then);
    check();
}

void QuietMoment::cancel()
{
    m_waiting = nullptr;
    m_check.stop();
}

void QuietMoment::check()
{
    if (!m_waiting) {
        m_check.stop();
        return;
    }
    if (!now()) {
        m_check.start();
        return;
    }
    m_check.stop();
    std::exchange(m_waiting, nullptr)();
}
