#include "support/TestRunner.h"

#include <QApplication>

std::unique_ptr<QObject> makeFileCommandTests();
std::unique_ptr<QObject> makeNewCommandTests();

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::vector<std::unique_ptr<QObject>> tests;
    tests.push_back(makeFileCommandTests());
    tests.push_back(makeNewCommandTests());
    return runTestClasses(argc, argv, tests);
}
