#include "FuzzCheck.h"

#include "browser/devtools/DevToolsPipe.h"

#include <QCoreApplication>

#include <fuzzer/FuzzedDataProvider.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

// The browser's side is played by the fuzzer: whatever bytes it sends, cut wherever it likes,
// reading them ends in events, answers or a closed pipe, never in a crash or a wait without
// end. The frame limit is the fuzzer's choice too, small enough that its frames outgrow it, and
// only the events of Target are read: frames dropped as they come never end the pipe or hide
// an answer after them.
namespace {
bool readsEvent(QByteArrayView method)
{
    return method.startsWith("Target.");
}

struct Pipe
{
    int read = -1;
    int write = -1;
    Pipe()
    {
        int fds[2];
        fuzzCheck(::pipe2(fds, O_CLOEXEC) == 0, "a pipe can be made");
        read = fds[0];
        write = fds[1];
    }
};

// Writes what the pipe takes now; the rest waits for the reader.
qsizetype writeSome(int fd, const std::string& bytes, qsizetype from)
{
    const ssize_t done = ::write(fd, bytes.data() + from, bytes.size() - size_t(from));
    return done > 0 ? done : 0;
}

// Returns how many commands were sent meanwhile.
int feed(DevToolsPipe& pipe, int fd, const std::string& chunk, bool asAnswer)
{
    int commands = 0;
    for (qsizetype sent = 0; sent < qsizetype(chunk.size());) {
        sent += writeSome(fd, chunk, sent);
        // Either a caller waits for an answer (which may be in the bytes or not), or the
        // event loop reads what has come.
        if (asAnswer) {
            pipe.call(QStringLiteral("Target.getTargets"), {}, {}, 0);
            ++commands;
        } else {
            pipe.waitUntil([] { return false; }, 0);
        }
    }
    return commands;
}

// Whatever came before, the NUL-framed answer to the next command reaches its caller. (A
// frame left open by the bytes before may be that answer itself once the NUL closes it.)
void answerStillArrives(DevToolsPipe& pipe, int fd, int nextId)
{
    const std::string nul(1, '\0');
    const std::string answer = nul + "{\"id\":" + std::to_string(nextId) + ",\"result\":{}}" + nul;
    fuzzCheck(writeSome(fd, answer, 0) == qsizetype(answer.size()), "the answer fits the pipe");
    fuzzCheck(pipe.call(QStringLiteral("Browser.getVersion"), {}, {}, 1000).has_value(),
              "an answer after any bytes reaches its caller");
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Socket notifiers need an event dispatcher; the plain one keeps each run cheap.
    qputenv("QT_NO_GLIB", "1");
    new QCoreApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    // Commands go nowhere: only the reading side is under test.
    const int commands = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    fuzzCheck(commands >= 0, "/dev/null can be opened");
    const Pipe events;
    fcntl(events.write, F_SETFL, O_NONBLOCK);
    int closedCalls = 0;
    {
        // Above the size of the answer that answerStillArrives() sends.
        DevToolsPipe pipe(commands, events.read, input.ConsumeIntegralInRange<qsizetype>(32, 512));
        pipe.setEventFilter(readsEvent);
        pipe.setEventHandler([](const QJsonObject& event) {
            fuzzCheck(readsEvent(event.value(QStringLiteral("method")).toString().toUtf8()),
                      "only events that are read are handled");
        });
        pipe.setClosedHandler([&closedCalls] { ++closedCalls; });
        int commands = 0;
        while (input.remaining_bytes() > 0) {
            const bool asAnswer = input.ConsumeBool();
            commands += feed(pipe, events.write, input.ConsumeRandomLengthString(), asAnswer);
        }
        answerStillArrives(pipe, events.write, commands + 1);
        ::close(events.write);
        // The browser's end is gone: reading says so once, and a command then fails.
        pipe.waitUntil([] { return false; }, 1000);
        fuzzCheck(!pipe.isOpen() && closedCalls == 1, "a closed pipe is told once");
        fuzzCheck(!pipe.call(QStringLiteral("Browser.close"), {}, {}, 1000),
                  "a command to a closed pipe fails");
    }
    return 0;
}
