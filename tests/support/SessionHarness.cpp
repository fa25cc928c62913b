#include "support/SessionHarness.h"

#include "platform/InstallDir.h"
#include "platform/ProgramExit.h"
#include "session/Handler.h"
#include "session/ThemeDocument.h"

#include <QFile>
#include <QRegularExpression>

SessionHarness::SessionHarness(bool installed, const QString& folder)
    : installDir(temp.path() + QLatin1Char('/') + folder + QLatin1Char('/'))
{
    if (installed)
        InstallDir::installIfMissing(installDir);
    platform = std::make_unique<Platform>(Platform{dialogs, clock, installDir});
    m = std::make_unique<Module1>(*platform, browsers);
    m->toolbar = &toolbar;
    toolbar.follow(m->theme());
    ProgramExit::setHandler([this](int code) {
        ended = code;
        throw ProgramEnded{code};
    });
}

SessionHarness::~SessionHarness()
{
    ProgramExit::setHandler({});
}

void SessionHarness::start()
{
    run([this] {
        m->MainBrowser = browsers.create();
        m->PrefetchBrowser = browsers.create();
        m->theme().LoadThemeFile(m->defaultThemeFile());
    });
}

void SessionHarness::stepTo(int index)
{
    while (m->theme().LinkIndex() != index && !ended)
        run([this] { m->theme().MoveRight(); });
    browsers.calls.clear();
}

void SessionHarness::run(const std::function<void()>& body)
{
    runHandler(*m, body);
}

QByteArray SessionHarness::read(const QString& name) const
{
    QFile file(name.startsWith('/') ? name : path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void SessionHarness::write(const QString& name, const QByteArray& bytes) const
{
    QFile file(name.startsWith('/') ? name : path(name));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

QStringList SessionHarness::logMessages() const
{
    static const QRegularExpression stamp(QStringLiteral("^\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d"));
    QStringList messages;
    const QList<QByteArray> lines = read(QStringLiteral("error.log")).split('\n');
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        messages << QString::fromUtf8(line).remove(stamp);
    }
    if (!messages.isEmpty() && messages.constLast().isEmpty())
        messages.removeLast();
    return messages;
}
