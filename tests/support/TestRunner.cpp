#include "support/TestRunner.h"

#include <QMetaMethod>
#include <QStringList>
#include <QTest>

namespace {
// The test functions named on the command line ("name" or "name:tag"), without options.
QStringList namedFunctions(int argc, char** argv)
{
    QStringList names;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        const QString previous = QString::fromLocal8Bit(argv[i - 1]);
        if (!arg.startsWith('-') && previous != QLatin1String("-o"))
            names << arg.section(':', 0, 0);
    }
    return names;
}

bool hasAnyOf(const QObject& test, const QStringList& names)
{
    const QMetaObject* meta = test.metaObject();
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        if (names.contains(QString::fromLatin1(meta->method(i).name())))
            return true;
    }
    return false;
}
} // namespace

int runTestClasses(int argc, char** argv, const std::vector<std::unique_ptr<QObject>>& tests)
{
    const QStringList names = namedFunctions(argc, argv);
    int failed = 0;
    for (const auto& test : tests) {
        if (names.isEmpty() || hasAnyOf(*test, names))
            failed += QTest::qExec(test.get(), argc, argv);
    }
    return failed == 0 ? 0 : 1;
}
