// The look at the open theme file that each timed step takes when nothing has changed, for a
// list of 500 links and for a file of one 50 MB line: with a settled stamp (one stat) and with
// a stamp younger than the coarsest file times (the bytes are read and compared), beside the
// stamp that every load now takes.
#include "platform/FileStore.h"
#include "session/FileStamp.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>

namespace {
// Mean of `rounds` timings in microseconds; `prepare` runs untimed before each.
double meanUs(int rounds, const std::function<void()>& prepare, const std::function<void()>& work)
{
    qint64 total = 0;
    for (int i = 0; i < rounds; ++i) {
        prepare();
        QElapsedTimer timer;
        timer.start();
        work();
        total += timer.nsecsElapsed();
    }
    return double(total) / rounds / 1000.0;
}

// The file's time a minute back, so that a stamp taken now is settled.
void backdate(const QString& path)
{
    timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 60;
    times[1] = times[0];
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}

void bench(const char* what, const QString& path, const QByteArray& bytes)
{
    FileStore::save(path, bytes);
    FileStamp stamp;
    const auto look = [&] {
        if (stamp.changedBytes(path))
            std::printf("unexpected change seen\n");
    };
    const int rounds = bytes.size() > 1'000'000 ? 11 : 1001;
    const double takeUs = meanUs(
        rounds, [] {}, [&] { stamp.take(path, bytes); });
    const double youngUs = meanUs(
        rounds, [&] { stamp.take(path, bytes); }, look);
    backdate(path);
    const double settledUs = meanUs(
        rounds, [&] { stamp.take(path, bytes); }, look);
    std::printf("%-10s %9lld bytes  stamp at load %9.1f us  settled look %6.1f us  young look "
                "%9.1f us  young/settled %6.0f\n",
                what, qint64(bytes.size()), takeUs, settledUs, youngUs, youngUs / settledUs);
}
} // namespace

int main()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.qld"));
    QByteArray list;
    for (int i = 1; i <= 500; ++i)
        list += "http://site.example/articles/2026/01/03/page-" + QByteArray::number(i) + "\r\n";
    bench("500 links", path, list);
    bench("50 MB line", path, "http://site.example/" + QByteArray(50 * 1000 * 1000, 'x') + "\r\n");
    return 0;
}
