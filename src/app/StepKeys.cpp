#include "app/StepKeys.h"

#include "app/StepKeyGrab.h"

#include "session/Handler.h"
#include "session/Module1.h"
#include "session/QuietMoment.h"
#include "session/ThemeDocument.h"

#include <QTimer>

StepKeys::StepKeys(Module1& m, QObject* parent) : QObject(parent), m(m) {}

StepKeys::~StepKeys() = default;

void StepKeys::watch()
{
    // The browser reports a key while the program may be waiting for one of its answers, in
    // the middle of a handler; the step runs from the event loop, after that handler.
    const auto later = [this](StepKey key) {
        QTimer::singleShot(0, this, [this, key] { press(key); });
    };
    m.MainBrowser->watchStepKeys(later);
    // A browser started again runs in a process group of its own.
    m_grab.reset();
    m_grab = StepKeyGrab::forProcessGroup(m.MainBrowser->windowProcessGroup(), later);
}

void StepKeys::press(StepKey key)
{
    // A modal dialog blocks the toolbar's buttons; it blocks their keys too, so that no step
    // runs inside the handler that waits for the dialog.
    if (QuietMoment::modalOpen())
        return;
    runHandler(
        m, [this, key] { key == StepKey::Left ? m.theme().MoveLeft() : m.theme().MoveRight(); });
    emit stepped();
}
