#include "themefile/LinkField.h"

QString LinkField::asField(const QString& text)
{
    if (text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')))
        return QLatin1Char('"') + text + QLatin1Char('"');
    return text;
}
