#pragma once

#include "app/Form1.h"
#include "session/Module1.h"
#include "support/MockClock.h"
#include "support/RecordingBrowser.h"
#include "support/ScriptedDialogs.h"

#include <QTemporaryDir>

#include <memory>
#include <optional>

// A whole program on a temporary install directory, with scripted dialogs, a fixed clock and
// the recording browser. Ending the program throws ProgramEnded instead of exiting, and
// `ended` tells whether (and with which code) it happened.
class Harness
{
public:
    // `installed`: make the install directory with the shipped default files. `folder`: the
    // install directory's path below the temporary directory.
    explicit Harness(bool installed = true, const QString& folder = QStringLiteral("Quillon2"));
    ~Harness();

    // Runs the start-up as the program does, through the handler wrapper.
    void start();
    // Runs a handler body as a click would.
    void run(const std::function<void()>& body);

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
    std::unique_ptr<Form1> form;
    std::optional<int> ended;
};
