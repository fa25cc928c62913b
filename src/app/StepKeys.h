#pragma once

#include "browser/Browser.h"

#include <QObject>

class Module1;

// The step keys of the visible window do what the toolbar's Left and Right buttons do, through
// the same handlers and the same wrapper.
class StepKeys : public QObject
{
    Q_OBJECT
public:
    explicit StepKeys(Module1& m, QObject* parent = nullptr);

    // Starts listening on the visible browser, once it exists; throws Failure when the browser
    // refuses.
    void watch();

signals:
    // After every step that a key made.
    void stepped();

private:
    void press(StepKey key);

    Module1& m;
};
