#pragma once

#include "browser/Browser.h"

#include <QObject>

#include <memory>

class Module1;
class StepKeyGrab;

// The step keys of the visible window do what the toolbar's Left and Right buttons do, through
// the same handlers and the same wrapper.
class StepKeys : public QObject
{
    Q_OBJECT
public:
    explicit StepKeys(Module1& m, QObject* parent = nullptr);
    ~StepKeys() override;

    // Starts listening on the visible browser, once it exists; throws Failure when the browser
    // refuses. On X the keys are taken from the server for the browser's windows, so that they
    // step also from a page that hangs; the page's own listener serves where they cannot be, and
    // never gets a key that the server gave the toolbar.
    void watch();
    // Null when the keys come only through the page.
    StepKeyGrab* grab() const { return m_grab.get(); }

signals:
    // After every step that a key made.
    void stepped();

private:
    void press(StepKey key);

    Module1& m;
    std::unique_ptr<StepKeyGrab> m_grab;
};
