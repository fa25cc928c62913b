#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

// The browser's process, started in a process group of its own with the remote debugging pipe
// on descriptors 3 (commands) and 4 (replies and events).
class ChromiumProcess
{
public:
    struct Pipe
    {
        int commandFd = -1; // the program writes here; the browser reads it as descriptor 3
        int eventFd = -1;   // the program reads here; the browser writes it as descriptor 4
    };

    // Runs `program` with `arguments` and `extraEnvironment` (NAME=value) added to the
    // program's own. Throws Failure 429 when it cannot be run.
    ChromiumProcess(const QString& program, const QStringList& arguments,
                    const QStringList& extraEnvironment);
    ~ChromiumProcess();
    ChromiumProcess(const ChromiumProcess&) = delete;
    ChromiumProcess& operator=(const ChromiumProcess&) = delete;

    // The program's ends of the pipe; the caller owns them from now on.
    Pipe takePipe();
    // The process id, which is also its process group id.
    pid_t pid() const { return m_pid; }
    bool hasExited();
    // How the process ended, in a few words; empty while it runs.
    QString howItEnded();
    // Waits up to `timeoutMs` for the process to end by itself.
    bool waitForExit(int timeoutMs);
    // Ends the whole process group at once and reaps the process.
    void kill();

private:
    pid_t m_pid = -1;
    bool m_exited = false;
    int m_status = -1; // as waitpid() gave it; -1 when reaped without one
    Pipe m_pipe;
};
