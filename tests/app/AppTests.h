#pragma once

#include <QObject>

#include <memory>

// The test classes of the application shell, each defined in its own file and run from main.cpp.
std::unique_ptr<QObject> makeAppTests();
std::unique_ptr<QObject> makeSteppingTests();
std::unique_ptr<QObject> makeCommandLineTests();
std::unique_ptr<QObject> makeSingleToolbarTests();
