#pragma once

#include <QString>

// How a link is written as one line of a theme file so that it reads back as one link.
class LinkField
{
public:
    // A comma would split the link into two fields when the list is read, so such a text
    // goes between double quotes. A text with a double quote of its own cannot be quoted and
    // stays as it is.
    static QString asField(const QString& text);
};
