#include "support/TestRunner.h"

#include <QMetaMethod>
#include <QStringList>
#include <QTest>

#include <cstdio>
#include <exception>

namespace {
bool isClassName(const QString& arg, const std::vector<std::unique_ptr<QObject>>& tests)
{
    return std::any_of(tests.begin(), tests.end(), [&arg](const auto& test) {
        return arg == QLatin1String(test->metaObject()->className());
    });
}

bool isName(int i, char** argv)
{
    return argv[i][0] != '-' && qstrcmp(argv[i - 1], "-o") != 0;
}

// The test functions named on the command line ("name" or "name:tag"), without options.
QStringList namedFunctions(int argc, char** argv)
{
    QStringList names;
    for (int i = 1; i < argc; ++i) {
        if (isName(i, argv))
            names << QString::fromLocal8Bit(argv[i]).section(':', 0, 0);
    }
    return names;
}

// The class's test functions, in the order that QTest runs them.
QStringList testFunctions(const QObject& test)
{
    static const QStringList special{"initTestCase", "cleanupTestCase", "init", "cleanup"};
    QStringList functions;
    const QMetaObject* meta = test.metaObject();
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        const QString name = QString::fromLatin1(method.name());
        if (method.methodType() == QMetaMethod::Slot && method.access() == QMetaMethod::Private &&
            method.parameterCount() == 0 && !special.contains(name) && !name.endsWith("_data"))
            functions << name;
    }
    return functions;
}

bool hasAnyOf(const QObject& test, const QStringList& names)
{
    return names.contains(QLatin1String(test.metaObject()->className())) ||
           std::any_of(names.begin(), names.end(),
                       [&test](const QString& name) { return testFunctions(test).contains(name); });
}

// Runs `functions` of the class (all when empty). QTest fails a function that lets an exception
// escape and gives up the class there; the class goes on with the functions after it.
int runClass(QObject& test, const QStringList& options, QStringList functions)
{
    int failed = 0;
    for (;;) {
        try {
            return failed + QTest::qExec(&test, options + functions);
        } catch (const std::exception& escaped) {
            ++failed;
            const QString where = test.property("runningCase").toString();
            std::printf("FAIL!  : %s::%s escaped: %s\n", test.metaObject()->className(),
                        qPrintable(where), escaped.what());
            std::fflush(stdout);
            const QStringList all = testFunctions(test);
            const qsizetype at = all.indexOf(where.section('(', 0, 0));
            if (at < 0)
                throw;
            if (functions.isEmpty())
                functions = all;
            functions.removeIf(
                [&](const QString& f) { return all.indexOf(f.section(':', 0, 0)) <= at; });
            if (functions.isEmpty())
                return failed;
        }
    }
}
} // namespace

int runTestClasses(int argc, char** argv, const std::vector<std::unique_ptr<QObject>>& tests)
{
    const QStringList names = namedFunctions(argc, argv);
    QStringList options;
    for (int i = 0; i < argc; ++i) {
        if (i == 0 || !isName(i, argv))
            options << QString::fromLocal8Bit(argv[i]);
    }
    int failed = 0;
    for (const auto& test : tests) {
        if (!names.isEmpty() && !hasAnyOf(*test, names))
            continue;
        // A class named runs whole; QTest is told only its functions.
        QStringList functions;
        for (int i = 1; i < argc; ++i) {
            const QString arg = QString::fromLocal8Bit(argv[i]);
            if (isName(i, argv) && !isClassName(arg, tests) &&
                testFunctions(*test).contains(arg.section(':', 0, 0)))
                functions << arg;
        }
        failed += runClass(*test, options, functions);
    }
    return failed == 0 ? 0 : 1;
}
