#include "KillRounds.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

KillRounds::KillRounds(QString program, QStringList arguments, QString file,
                       QList<QByteArray> states)
    : m_program(std::move(program)), m_arguments(std::move(arguments)), m_file(std::move(file)),
      m_states(std::move(states))
{}

KillRounds::Tally KillRounds::run(int kills, quint32 seed) const
{
    QRandomGenerator random(seed);
    Tally tally;
    tally.found.fill(0, m_states.size());
    for (int round = 0; round < kills; ++round) {
        QString failure;
        const QByteArray bytes = killOnce(random.generate(), failure);
        ++tally.runs;
        const qsizetype state = failure.isEmpty() ? m_states.indexOf(bytes) : -1;
        if (state >= 0) {
            ++tally.found[state];
            continue;
        }
        ++tally.losses;
        if (tally.firstLoss.isEmpty())
            tally.firstLoss = failure.isEmpty()
                                  ? QStringLiteral("round %1: %2 bytes, no known state")
                                        .arg(round)
                                        .arg(bytes.size())
                                  : failure;
    }
    return tally;
}

// Anywhere within about two rounds after the first: the random number picks the moment.
QByteArray KillRounds::killOnce(quint32 random, QString& failure) const
{
    // Every round starts from the first state, whatever the last kill left.
    QFile start(m_file);
    if (!start.open(QIODevice::WriteOnly) || start.write(m_states.value(0)) < 0) {
        failure = QStringLiteral("the file cannot be set up");
        return {};
    }
    start.close();
    QProcess child;
    child.setStandardErrorFile(QProcess::nullDevice());
    child.start(m_program, m_arguments);
    if (!child.waitForStarted()) {
        failure = child.errorString();
        return {};
    }
    while (!child.canReadLine()) {
        if (!child.waitForReadyRead(60000)) {
            failure = QStringLiteral("the program never finished a round");
            child.kill();
            child.waitForFinished();
            return {};
        }
    }
    const int roundMs = child.readLine().split(' ').value(1).trimmed().toInt();
    QThread::usleep(random % quint32(2000 * (roundMs + 1)));
    child.kill();
    child.waitForFinished();
    if (child.exitStatus() != QProcess::CrashExit) {
        failure = QStringLiteral("the program ended before it was killed");
        return {};
    }
    QFile file(m_file);
    if (!file.open(QIODevice::ReadOnly)) {
        failure = QStringLiteral("the file is gone");
        return {};
    }
    return file.readAll();
}
