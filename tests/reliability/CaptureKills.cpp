#include "CaptureKills.h"

#include <QFile>

namespace {
QList<QByteArray> linesOf400()
{
    QList<QByteArray> lines;
    for (int i = 1; i <= 400; ++i)
        lines << "http://site.example/page/" + QByteArray::number(i) + "/index.html";
    return lines;
}

QByteArray crLfLines(const QList<QByteArray>& lines)
{
    QByteArray bytes;
    for (const QByteArray& line : lines)
        bytes += line + "\r\n";
    return bytes;
}

// Add It appends CR LF, the link and CR LF; the reload drops the empty line this leaves.
// Process writes the text and one more CR LF; the reload drops that empty last line.
QList<QByteArray> statesAfter(CaptureKills::Command command, const QList<QByteArray>& lines)
{
    const QByteArray old = crLfLines(lines);
    if (command == CaptureKills::Command::AddIt) {
        const QByteArray link = "http://added.example/";
        return {old, old + "\r\n" + link + "\r\n", old + link + "\r\n"};
    }
    QList<QByteArray> rotated = lines;
    rotated.append(rotated.takeFirst());
    return {old, crLfLines(rotated) + "\r\n", crLfLines(rotated)};
}
} // namespace

QString CaptureKills::name(Command command)
{
    return command == Command::AddIt ? QStringLiteral("Add It") : QStringLiteral("Process");
}

KillRounds::Tally CaptureKills::run(Command command, const QString& folder, int kills, quint32 seed)
{
    const QList<QByteArray> lines = linesOf400();
    const QString theme = folder + QStringLiteral("/four-hundred.qld");
    QFile file(theme);
    if (!file.open(QIODevice::WriteOnly) || file.write(crLfLines(lines)) < 0)
        return {};
    file.close();
    const QString mode =
        command == Command::AddIt ? QStringLiteral("add") : QStringLiteral("process");
    const KillRounds rounds(QStringLiteral(CAPTURE_LOOP),
                            {mode, folder + QStringLiteral("/Quillon2/"), theme}, theme,
                            statesAfter(command, lines));
    return rounds.run(kills, seed);
}
