#pragma once

#include "browser/Browser.h"
#include "log/ActivityLog.h"
#include "platform/Dialogs.h"
#include "platform/Platform.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

class BrowserRestart;
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

    // A screen that steps on its own, which nobody may be watching: what nobody asked for
    // raises no box there, and a browser that ends is started again by `browserRestart`.
    bool unattended = false;
    BrowserRestart* browserRestart = nullptr;
    // Marks what runs in its lifetime as asked for by nobody: a timed step, a list's refresh,
    // a change from outside, a browser started again.
    class NobodyAsked
    {
    public:
        explicit NobodyAsked(Module1& m) : m(m) { ++m.m_nobodyAsked; }
        ~NobodyAsked() { --m.m_nobodyAsked; }
        NobodyAsked(const NobodyAsked&) = delete;
        NobodyAsked& operator=(const NobodyAsked&) = delete;

    private:
        Module1& m;
    };
    // Whether a box now would wait for nobody.
    bool nobodyToAsk() const { return unattended && m_nobodyAsked > 0; }
    // A box for the person at the screen. When nobody is there, `instead` goes to the log
    // (nothing when empty: the caller has logged it already) and nothing waits.
    void messageBox(const QString& text, const QString& title, BoxIcon icon,
                    const QString& instead);

private:
    std::unique_ptr<ThemeDocument> m_theme;
    int m_nobodyAsked = 0;
};
