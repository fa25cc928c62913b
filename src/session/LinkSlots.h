#pragma once

#include <QString>
#include <QStringList>

#include <array>

// The 501 link slots, 0 to 500. A position outside that range is failure 9, as every
// read and store of the list has always checked.
class LinkSlots
{
public:
    static constexpr int Last = 500;

    const QString& at(int position) const;
    void set(int position, const QString& link);
    // Slots 1 to `count`, the links of a list that long.
    QStringList first(int count) const;
    // Empties every slot above `count`, so that nothing of an earlier file stays reachable.
    void clearAbove(int count);

private:
    static void check(int position);
    std::array<QString, Last + 1> m_slots;
};
