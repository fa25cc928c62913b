#pragma once

#include "platform/Clock.h"

class MockClock : public Clock
{
public:
    explicit MockClock(QDateTime moment = QDateTime(QDate(2026, 1, 3), QTime(9, 5)))
        : moment(std::move(moment))
    {}
    QDateTime now() const override { return moment; }

    QDateTime moment;
};
