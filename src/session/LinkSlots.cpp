#include "session/LinkSlots.h"

#include "platform/Failure.h"

void LinkSlots::check(int position)
{
    if (position < 0 || position > Last)
        throw Failure(FailureNumber::SubscriptOutOfRange);
}

const QString& LinkSlots::at(int position) const
{
    check(position);
    return m_slots[position];
}

void LinkSlots::set(int position, const QString& link)
{
    check(position);
    m_slots[position] = link;
}

QStringList LinkSlots::first(int count) const
{
    check(count);
    return QStringList(m_slots.begin() + 1, m_slots.begin() + 1 + count);
}

void LinkSlots::clearAbove(int count)
{
    for (int i = qMax(count + 1, 1); i <= Last; ++i)
        m_slots[i].clear();
}
