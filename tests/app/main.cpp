#include "AppTests.h"
#include "support/TestRunner.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::vector<std::unique_ptr<QObject>> tests;
    tests.push_back(makeAppTests());
    tests.push_back(makeSteppingTests());
    tests.push_back(makeCommandLineTests());
    tests.push_back(makeSingleToolbarTests());
    return runTestClasses(argc, argv, tests);
}
