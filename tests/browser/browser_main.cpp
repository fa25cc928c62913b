// The browser pair on the real Chromium, over its pipe, against pages that the test serves
// itself on 127.0.0.1. Needs an X display (xvfb-run).
#include "BrowserTestCase.h"
#include "BrowserTests.h"
#include "support/TestRunner.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    BrowserFixture fixture;
    const QString output = fixture.home.filePath(QStringLiteral("browser-output.log"));
    qputenv("QUILLON_BROWSER_LOG", QFile::encodeName(output));
    std::vector<std::unique_ptr<QObject>> tests;
    tests.push_back(makeWindowPlacementTests(fixture));
    tests.push_back(makeAddressTests(fixture));
    tests.push_back(makeHiddenInstanceTests(fixture));
    tests.push_back(makeKeptDocumentTests(fixture));
    tests.push_back(makeStepKeyTests(fixture));
    tests.push_back(makeHistoryStepTests(fixture));
    tests.push_back(makeLifetimeTests(fixture));
    const int failed = runTestClasses(argc, argv, tests);
    // Whether a browser crashed, and where; less what every start writes of the desktop bus.
    QFile log(output);
    if (failed != 0 && log.open(QIODevice::ReadOnly))
        for (const QByteArray& line : log.readAll().split('\n'))
            if (!line.contains("dbus"))
                qWarning().noquote() << line;
    return failed;
}
