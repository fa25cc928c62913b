#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

// The program's options, read before any window or browser exists, so that a wrong one ends
// the run before anything has started.
class CommandLine
{
public:
    enum class Action { Run, ShowHelp, ShowVersion, Refuse };
    static constexpr int RefusedExitStatus = 2;
    static constexpr int ShortestStepSeconds = 5;
    // A day; also well inside what a timer can count in milliseconds.
    static constexpr int LongestStepSeconds = 86400;

    // `arguments` as main() gets them, the program's own name first.
    static CommandLine parse(const QStringList& arguments);
    static QStringList fromArgv(int argc, char** argv);

    Action action() const { return m_action; }
    // The help, the version, or the one-line reason for refusing.
    const QString& text() const { return m_text; }
    std::optional<std::chrono::seconds> stepEvery() const { return m_stepEvery; }
    // The theme file to start with, made absolute against the working directory the program
    // was started in; empty for the default theme file.
    const QString& themeFile() const { return m_themeFile; }

    // Writes the text where it belongs (the refusal to standard error) and returns the exit
    // status; for anything but Run.
    int answer() const;

private:
    CommandLine(Action action, QString text) : m_action(action), m_text(std::move(text)) {}

    Action m_action;
    QString m_text;
    std::optional<std::chrono::seconds> m_stepEvery;
    QString m_themeFile;
};
