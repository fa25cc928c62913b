#pragma once

#include <QObject>

#include <memory>

// The test classes of the program's behaviour under kills, a full disk and a browser that
// misbehaves, each defined in its own file and run from main.cpp.
std::unique_ptr<QObject> makeKilledWritesTests();
std::unique_ptr<QObject> makeFullDiskTests();
std::unique_ptr<QObject> makeMisbehavingBrowserTests();
