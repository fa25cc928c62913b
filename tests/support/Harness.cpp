#include "support/Harness.h"

#include "platform/InstallDir.h"
#include "platform/ProgramExit.h"
#include "session/Handler.h"

#include <QFile>
#include <QRegularExpression>

Harness::Harness(bool installed, const QString& folder)
    : installDir(temp.path() + QLatin1Char('/') + folder + QLatin1Char('/'))
{
    if (installed)
        InstallDir::installIfMissing(installDir);
    platform = std::make_unique<Platform>(Platform{dialogs, clock, installDir});
    m = std::make_unique<Module1>(*platform, browsers);
    form = std::make_unique<Form1>(*m);
    ProgramExit::setHandler([this](int code) {
        ended = code;
        throw ProgramEnded{code};
    });
}

Harness::~Harness()
{
    ProgramExit::setHandler({});
}

void Harness::start()
{
    run([this] { form->Form_Load(); });
}

void Harness::run(const std::function<void()>& body)
{
    runHandler(*m, body);
}

QByteArray Harness::read(const QString& name) const
{
    QFile file(name.startsWith('/') ? name : path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Harness::write(const QString& name, const QByteArray& bytes) const
{
    QFile file(name.startsWith('/') ? name : path(name));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

QStringList Harness::logMessages() const
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
