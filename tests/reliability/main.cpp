#include "ReliabilityTests.h"
#include "support/TestRunner.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::vector<std::unique_ptr<QObject>> tests;
    tests.push_back(makeKilledWritesTests());
    tests.push_back(makeFullDiskTests());
    tests.push_back(makeMisbehavingBrowserTests());
    return runTestClasses(argc, argv, tests);
}
