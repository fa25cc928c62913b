#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Kills a program that writes a file over and over with SIGKILL at random moments, and
// checks each time that the file holds exactly one of the states that the program may leave.
// The first state is the file's content when each round starts.
// The program prints "ready" and the milliseconds of its first round once that round is done.
class KillRounds
{
public:
    struct Tally
    {
        int runs = 0;
        QList<int> found; // per state, how often the file was found in it
        int losses = 0;   // found in none of the states
        QString firstLoss;
    };

    KillRounds(QString program, QStringList arguments, QString file, QList<QByteArray> states);

    Tally run(int kills, quint32 seed) const;

private:
    QByteArray killOnce(quint32 random, QString& failure) const;

    QString m_program;
    QStringList m_arguments;
    QString m_file;
    QList<QByteArray> m_states;
};
