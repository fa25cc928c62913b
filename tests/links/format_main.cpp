#include "LinkTests.h"

#include <QCoreApplication>
#include <QTest>

// The theme file format alone, on the core library: no window, no shared state.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::unique_ptr<QObject> tests = makeThemeFormatTests();
    return QTest::qExec(tests.get(), argc, argv);
}
