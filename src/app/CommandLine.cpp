#include "app/CommandLine.h"

#include "app/Form1.h"
#include "web/WebAddress.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

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
    if (!files.isEmpty())
        run.m_themeFile =
            WebAddress::is(files.constFirst())
                ? files.constFirst()
                : QDir::cleanPath(QDir::current().absoluteFilePath(files.constFirst()));
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
