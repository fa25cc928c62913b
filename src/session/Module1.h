#pragma once

#include "browser/Browser.h"
#include "log/ActivityLog.h"
#include "platform/Platform.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

class ThemeDocument;
class Toolbar;

// The wiring that every window and procedure shares for the whole run: the platform, the log,
// the browsers, the toolbar, the open dialogs and the open theme file. One object, passed by
// reference, so that each test starts from a fresh one.
class Module1
{
public:
    Module1(Platform& platform, BrowserFactory& browserFactory);
    // The modeless dialogs have no owner; none may outlive the state that it works on.
    ~Module1();
    Module1(const Module1&) = delete;
    Module1& operator=(const Module1&) = delete;

    Platform& platform;
    BrowserFactory& browserFactory;
    ActivityLog log;

    std::unique_ptr<Browser> MainBrowser;
    std::unique_ptr<Browser> PrefetchBrowser;

    // The main window, and the modeless dialogs while they are open.
    Toolbar* toolbar = nullptr;
    QPointer<QWidget> Form2;
    QPointer<QWidget> Form3;
    QPointer<QWidget> Form4;

    QString installPath(const QString& name) const { return platform.installDir + name; }
    QString defaultThemeFile() const { return installPath(QStringLiteral("default.qld")); }
    QString starterPage() const { return installPath(QStringLiteral("newquillon.htm")); }
    void WriteLogLine(const QString& message) { log.WriteLogLine(message); }

    // The open theme file and its links.
    ThemeDocument& theme() const { return *m_theme; }

private:
    std::unique_ptr<ThemeDocument> m_theme;
};
