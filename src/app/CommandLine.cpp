#include "app/CommandLine.h"

#include "app/Form1.h"
#include "web/WebAddress.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QSysInfo>
#include <QUrl>

#include <cstdio>

namespace {
const char* const stepEveryName = "step-every";

QString stepEveryRefusal(const QString& value)
{
    return QStringLiteral("--%1 takes whole seconds from %2 to %3, not '%4'.")
        .arg(QString::fromLatin1(stepEveryName))
        .arg(CommandLine::ShortestStepSeconds)
        .arg(CommandLine::LongestStepSeconds)
        .arg(value);
}

// A "file:" address, as desktops and browsers pass a file (percent-encoded), names the file on
// this machine; none for any other argument, an empty name for a file on another machine.
std::optional<QString> fileOfAddress(const QString& argument)
{
    if (!argument.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        return std::nullopt;
    QUrl address(argument);
    const QString host = address.host();
    if (!host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0 &&
        host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) != 0)
        return QString();
    // A host left in would make a network share's name of it ("//localhost/...").
    address.setHost(QString());
    return address.toLocalFile();
}
} // namespace

QStringList CommandLine::fromArgv(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

CommandLine CommandLine::parse(const QStringList& arguments)
{
    const QString program =
        arguments.isEmpty() ? QStringLiteral("quillon") : QFileInfo(arguments.first()).fileName();
    auto refuse = [&program](const QString& reason) {
        // One line, whatever the arguments held.
        return CommandLine(Action::Refuse, (program + QStringLiteral(": ") + reason).simplified());
    };
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Browsing toolbar that steps through a list of web links."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays this help."));
    const QCommandLineOption stepEvery(
        QString::fromLatin1(stepEveryName),
        QStringLiteral("Steps to the next link every <seconds> seconds (%1 to %2). A page that "
                       "you ask for starts the interval again; while a dialog is open it waits.")
            .arg(ShortestStepSeconds)
            .arg(LongestStepSeconds),
        QStringLiteral("seconds"));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    parser.addOption(stepEvery);
    parser.addPositionalArgument(
        QStringLiteral("file"),
        QStringLiteral("The theme file to open instead of the default theme file: a path, or "
                       "an http or https address. While Quillon already runs on this display, "
                       "it opens the file there."),
        QStringLiteral("[file]"));
    if (!parser.parse(arguments))
        return refuse(parser.errorText());
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return refuse(QStringLiteral("Unexpected argument '%1'.").arg(files.at(1)));
    // An empty name would be taken for the working directory.
    if (!files.isEmpty() && files.constFirst().isEmpty())
        return refuse(QStringLiteral("The theme file's name is empty."));
    if (parser.isSet(help))
        return CommandLine(Action::ShowHelp,
                           parser.helpText().replace(QStringLiteral("<executable_name>"), program));
    if (parser.isSet(version))
        return CommandLine(Action::ShowVersion, QString::fromLatin1(Form1::DesignedCaption) + '\n');
    CommandLine run(Action::Run, {});
    if (parser.isSet(stepEvery)) {
        bool whole = false;
        const QString value = parser.value(stepEvery);
        const int seconds = value.toInt(&whole);
        if (!whole || seconds < ShortestStepSeconds || seconds > LongestStepSeconds)
            return refuse(stepEveryRefusal(value));
        run.m_stepEvery = std::chrono::seconds(seconds);
    }
    if (!files.isEmpty()) {
        const QString& named = files.constFirst();
        const QString file = fileOfAddress(named).value_or(named);
        if (file.isEmpty())
            return refuse(QStringLiteral("'%1' names no file on this computer.").arg(named));
        run.m_themeFile =
            WebAddress::is(file) ? file : QDir::cleanPath(QDir::current().absoluteFilePath(file));
    }
    return run;
}

int CommandLine::answer() const
{
    const QByteArray bytes = m_text.toLocal8Bit();
    if (m_action == Action::Refuse) {
        std::fprintf(stderr, "%s\n", bytes.constData());
        return RefusedExitStatus;
    }
    std::fputs(bytes.constData(), stdout);
    return 0;
}
