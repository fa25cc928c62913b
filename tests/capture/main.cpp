#include "CaptureTests.h"
#include "support/TestRunner.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::vector<std::unique_ptr<QObject>> tests;
    tests.push_back(makeGrabTests());
    tests.push_back(makeEditTests());
    tests.push_back(makeBothDialogsTests());
    tests.push_back(makeWriteSafetyTests());
    tests.push_back(makeLayoutTests());
    return runTestClasses(argc, argv, tests);
}
