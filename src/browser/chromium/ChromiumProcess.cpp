#include "browser/chromium/ChromiumProcess.h"

#include "platform/Failure.h"

#include <QDeadlineTimer>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <linux/close_range.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {
// Strings prepared before fork(): the child may only make async-signal-safe calls.
class CStringList
{
public:
    void add(const QString& text) { m_storage.push_back(text.toStdString()); }
    void addRaw(const char* text) { m_storage.emplace_back(text); }
    char** pointers()
    {
        m_pointers.clear();
        for (auto& text : m_storage)
            m_pointers.push_back(text.data());
        m_pointers.push_back(nullptr);
        return m_pointers.data();
    }

private:
    std::vector<std::string> m_storage;
    std::vector<char*> m_pointers;
};

[[noreturn]] void failInChild(int errorFd)
{
    const int error = errno;
    [[maybe_unused]] ssize_t ignored = write(errorFd, &error, sizeof error);
    _exit(127);
}

// In the child between fork() and exec(). Every descriptor is first moved to a free number, so
// that none is overwritten by another's dup2() and dup2() onto 3 and 4 always makes fresh
// descriptors without close-on-exec (dup2 of a descriptor onto itself would keep the flag).
[[noreturn]] void execChild(const char* path, char** argv, char** envp, int commandRead,
                            int eventWrite, int nullFd, int outputFd, int errorFd)
{
    setpgid(0, 0);
    const int movedErrorFd = fcntl(errorFd, F_DUPFD_CLOEXEC, 10);
    if (movedErrorFd >= 0)
        errorFd = movedErrorFd;
    const int command = fcntl(commandRead, F_DUPFD_CLOEXEC, 10);
    const int event = fcntl(eventWrite, F_DUPFD_CLOEXEC, 10);
    const int null = fcntl(nullFd, F_DUPFD_CLOEXEC, 10);
    const int output = fcntl(outputFd, F_DUPFD_CLOEXEC, 10);
    if (command < 0 || event < 0 || null < 0 || output < 0 || dup2(command, 3) < 0 ||
        dup2(event, 4) < 0 || dup2(null, 0) < 0 || dup2(output, 1) < 0 || dup2(output, 2) < 0)
        failInChild(errorFd);
    // Descriptors that the program opened without close-on-exec stay out of the browser.
    close_range(5, ~0U, CLOSE_RANGE_CLOEXEC);
    signal(SIGPIPE, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execve(path, argv, envp);
    failInChild(errorFd);
}

// The child reports a failed exec through a close-on-exec pipe; end of file means it ran.
int readExecError(int errorRead)
{
    int error = 0;
    ssize_t n;
    do {
        n = read(errorRead, &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    return n == sizeof error ? error : 0;
}

// The browser's own output goes nowhere; to see why a browser ended (a crash's report), to the
// end of the file that QUILLON_BROWSER_LOG names, when that opens.
int openOutput(int nullFd)
{
    const QByteArray log = qgetenv("QUILLON_BROWSER_LOG");
    const int fd =
        log.isEmpty() ? -1 : open(log.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    return fd >= 0 ? fd : fcntl(nullFd, F_DUPFD_CLOEXEC, 0);
}
} // namespace

// One caller, which builds both lists by name just before; the environment entries are
// NAME=value, the arguments are not.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
ChromiumProcess::ChromiumProcess(const QString& program, const QStringList& arguments,
                                 const QStringList& extraEnvironment)
{
    CStringList argv;
    argv.add(program);
    for (const QString& argument : arguments)
        argv.add(argument);
    // The program's environment, less the names that `extraEnvironment` sets anew.
    QList<QByteArray> replaced;
    for (const QString& entry : extraEnvironment)
        replaced.append(entry.section(QLatin1Char('='), 0, 0).toLocal8Bit() + '=');
    CStringList envp;
    for (char** entry = environ; entry && *entry; ++entry) {
        const QByteArray text(*entry);
        if (std::none_of(replaced.begin(), replaced.end(),
                         [&](const QByteArray& name) { return text.startsWith(name); }))
            envp.addRaw(*entry);
    }
    for (const QString& entry : extraEnvironment)
        envp.add(entry);

    int commandPipe[2] = {-1, -1};
    int eventPipe[2] = {-1, -1};
    int errorPipe[2] = {-1, -1};
    const int nullFd = open("/dev/null", O_RDWR | O_CLOEXEC);
    const int outputFd = nullFd < 0 ? -1 : openOutput(nullFd);
    if (outputFd < 0 || pipe2(commandPipe, O_CLOEXEC) != 0 || pipe2(eventPipe, O_CLOEXEC) != 0 ||
        pipe2(errorPipe, O_CLOEXEC) != 0) {
        for (const int fd : {commandPipe[0], commandPipe[1], eventPipe[0], eventPipe[1],
                             errorPipe[0], errorPipe[1], nullFd, outputFd})
            if (fd >= 0)
                close(fd);
        throw Failure(FailureNumber::CannotCreateObject);
    }
    char** argvPointers = argv.pointers();
    char** envpPointers = envp.pointers();

    const pid_t pid = fork();
    if (pid == 0)
        execChild(argvPointers[0], argvPointers, envpPointers, commandPipe[0], eventPipe[1], nullFd,
                  outputFd, errorPipe[1]);

    for (const int fd : {nullFd, outputFd, commandPipe[0], eventPipe[1], errorPipe[1]})
        close(fd);
    const int execError = pid > 0 ? readExecError(errorPipe[0]) : errno;
    close(errorPipe[0]);
    if (pid < 0 || execError != 0) {
        if (pid > 0)
            waitpid(pid, nullptr, 0);
        close(commandPipe[1]);
        close(eventPipe[0]);
        throw Failure(FailureNumber::CannotCreateObject);
    }
    setpgid(pid, pid);
    m_pid = pid;
    m_pipe = {commandPipe[1], eventPipe[0]};
}

ChromiumProcess::~ChromiumProcess()
{
    for (const int fd : {m_pipe.commandFd, m_pipe.eventFd})
        if (fd >= 0)
            close(fd);
    // Without its pipe the browser ends by itself; one that hangs, and helpers still shutting
    // down after it, are killed.
    waitForExit(3000);
    kill();
}

ChromiumProcess::Pipe ChromiumProcess::takePipe()
{
    return std::exchange(m_pipe, Pipe{});
}

bool ChromiumProcess::hasExited()
{
    if (m_exited || m_pid <= 0)
        return true;
    int status = 0;
    const pid_t result = waitpid(m_pid, &status, WNOHANG);
    if (result == m_pid)
        m_status = status;
    if (result == m_pid || (result < 0 && errno == ECHILD))
        m_exited = true;
    return m_exited;
}

QString ChromiumProcess::howItEnded()
{
    if (!hasExited())
        return {};
    if (m_status >= 0 && WIFSIGNALED(m_status))
        return QStringLiteral("it ended on signal %1").arg(WTERMSIG(m_status));
    if (m_status >= 0 && WIFEXITED(m_status))
        return QStringLiteral("it exited with status %1").arg(WEXITSTATUS(m_status));
    return QStringLiteral("it ended");
}

bool ChromiumProcess::waitForExit(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!hasExited()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

void ChromiumProcess::kill()
{
    if (m_pid <= 0)
        return;
    ::kill(-m_pid, SIGKILL);
    if (!m_exited) {
        ::kill(m_pid, SIGKILL);
        while (waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        m_exited = true;
    }
}
