#pragma once

#include <QObject>

#include <memory>

// The test classes of the open theme file, each defined in its own file and run from main.cpp.
std::unique_ptr<QObject> makeThemeLoadTests();
std::unique_ptr<QObject> makeLinkCursorTests();
std::unique_ptr<QObject> makeThemeFileSafetyTests();
std::unique_ptr<QObject> makeQuietMomentTests();
