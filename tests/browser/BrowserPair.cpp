#include "BrowserPair.h"

#include "browser/chromium/RunningChromium.h"
#include "browser/devtools/DevToolsConnection.h"
#include "platform/Failure.h"

#include <QJsonArray>
#include <QProcess>

QString browserTestUnavailable(const QString& home)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return QStringLiteral("needs an X display: run under xvfb-run");
    if (ChromiumBrowserFactory::findExecutable().isEmpty())
        return QStringLiteral("no Chromium on PATH");
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toUtf8());
    return {};
}

BrowserPair::BrowserPair(std::unique_ptr<ChromiumBrowserFactory> made)
    : factory(std::move(made)), main(factory->create()), hidden(factory->create())
{
    hidden->setVisible(false);
    main->setVisible(true);
}

BrowserPair::~BrowserPair()
{
    try {
        main->Quit();
    } catch (const Failure&) {
        // The browser is gone already.
    }
}

QJsonArray targetsOf(DevToolsConnection& connection)
{
    return connection.command(QStringLiteral("Target.getTargets"))
        .value(QStringLiteral("targetInfos"))
        .toArray();
}

int pageTargetCount(DevToolsConnection& connection)
{
    int pages = 0;
    for (const QJsonValue& target : targetsOf(connection))
        pages +=
            target.toObject().value(QStringLiteral("type")).toString() == QLatin1String("page");
    return pages;
}

QList<QByteArray> visibleBrowserWindows()
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"),
                  {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                   QStringLiteral("--class"), QStringLiteral("chromium")});
    xdotool.waitForFinished();
    const QByteArray windows = xdotool.readAllStandardOutput().trimmed();
    return windows.isEmpty() ? QList<QByteArray>{} : windows.split('\n');
}
