#pragma once

#include <QDateTime>
#include <QString>

// The current date and time, replaceable so that tests can fix the moment.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;

    // "mm/dd/yy", "m/d/yy" and "hh:mm" as the log writes them (24-hour clock).
    static QString format(const QDateTime& moment, const QString& pattern);
};

class SystemClock : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};
