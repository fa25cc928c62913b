#pragma once

#include <QObject>

#include <memory>

// The test classes of Grab and Edit with their dialogs, each defined in its own file and run
// from main.cpp.
std::unique_ptr<QObject> makeGrabTests();
std::unique_ptr<QObject> makeEditTests();
std::unique_ptr<QObject> makeBothDialogsTests();
std::unique_ptr<QObject> makeWriteSafetyTests();
std::unique_ptr<QObject> makeLayoutTests();
