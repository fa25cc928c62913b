// The browser pair on the real Chromium, over its pipe, against pages that the test serves
// itself on 127.0.0.1. Needs an X display (xvfb-run).
#include "BrowserTestCase.h"
#include "BrowserTests.h"
#include "support/TestRunner.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    BrowserFixture fixture;
    std::vector<std::unique_ptr<QObject>> tests;
    tests.push_back(makeWindowPlacementTests(fixture));
    tests.push_back(makeAddressTests(fixture));
    tests.push_back(makeHiddenInstanceTests(fixture));
    tests.push_back(makeKeptDocumentTests(fixture));
    tests.push_back(makeStepKeyTests(fixture));
    tests.push_back(makeHistoryStepTests(fixture));
    tests.push_back(makeLifetimeTests(fixture));
    return runTestClasses(argc, argv, tests);
}
