// Kills the program with SIGKILL at random moments of Add It and of Process on a theme file of
// 400 links, many times each, and prints for each command how often the file held its old
// bytes, the command's bytes, the tidied bytes, or anything else (a loss), with the time taken.
#include "CaptureKills.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int kills = argc > 1 ? QByteArray(argv[1]).toInt() : 200;
    int lost = 0;
    std::printf("%-8s %6s %6s %8s %7s %7s %8s\n", "command", "kills", "old", "written", "tidied",
                "losses", "seconds");
    for (const auto command : {CaptureKills::Command::AddIt, CaptureKills::Command::Process}) {
        QTemporaryDir dir;
        QElapsedTimer timer;
        timer.start();
        const KillRounds::Tally tally = CaptureKills::run(
            command, dir.path(), kills, quint32(QDateTime::currentMSecsSinceEpoch()));
        std::printf("%-8s %6d %6d %8d %7d %7d %8.1f\n", qPrintable(CaptureKills::name(command)),
                    tally.runs, tally.found.value(0), tally.found.value(1), tally.found.value(2),
                    tally.losses, double(timer.elapsed()) / 1000.0);
        if (tally.losses > 0)
            std::printf("  first loss: %s\n", qPrintable(tally.firstLoss));
        lost += tally.losses;
    }
    return lost == 0 ? 0 : 1;
}
