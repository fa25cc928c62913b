#pragma once

#include "session/Module1.h"
#include "session/ThemeDocument.h"
#include "support/FakeToolbar.h"
#include "support/MockClock.h"
#include "support/RecordingBrowser.h"
#include "support/ScriptedDialogs.h"

#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <optional>

// The shared state on a temporary install directory, with scripted dialogs, a fixed clock,
// the recording browser and a toolbar without a window: enough to run every command. Ending
// the program throws ProgramEnded instead of exiting, and `ended` tells whether (and with
// which code) it happened.
class SessionHarness
{
public:
    // `installed`: make the install directory with the shipped default files. `folder`: the
    // install directory's path below the temporary directory.
    explicit SessionHarness(bool installed = true,
                            const QString& folder = QStringLiteral("Quillon2"));
    virtual ~SessionHarness();
    SessionHarness(const SessionHarness&) = delete;
    SessionHarness& operator=(const SessionHarness&) = delete;

    // What the start-up leaves for the commands: both browsers, the default theme file loaded.
    virtual void start();
    // Runs a handler body as a click would.
    void run(const std::function<void()>& body);
    // Steps Right until link `index` is current, and forgets the browser calls of the steps.
    void stepTo(int index);

    QString path(const QString& name) const { return installDir + name; }
    QByteArray read(const QString& name) const;
    void write(const QString& name, const QByteArray& bytes) const;
    // The log's lines without their time stamps ("mm/dd/yy hh:mm" is cut off entries).
    QStringList logMessages() const;

    QTemporaryDir temp;
    QString installDir;
    ScriptedDialogs dialogs;
    MockClock clock;
    RecordingBrowserFactory browsers;
    std::unique_ptr<Platform> platform;
    std::unique_ptr<Module1> m;
    FakeToolbar toolbar{dialogs};
    std::optional<int> ended;
};
