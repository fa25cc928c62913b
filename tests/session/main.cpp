#include "SessionTests.h"
#include "support/TestRunner.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::vector<std::unique_ptr<QObject>> tests;
    tests.push_back(makeThemeLoadTests());
    tests.push_back(makeLinkCursorTests());
    tests.push_back(makeThemeFileSafetyTests());
    tests.push_back(makeQuietMomentTests());
    return runTestClasses(argc, argv, tests);
}
