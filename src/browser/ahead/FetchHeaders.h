#pragma once

#include <QJsonArray>
#include <QString>

// Response headers as the Fetch domain gives and takes them: [{name, value}, ...].
namespace FetchHeaders {

// The value of the first header of that name, in any case; empty when there is none.
QString value(const QJsonArray& headers, QLatin1String name);

// The headers for a body that the program hands to the browser decoded and whole: its
// encoding and length no longer hold, and the cookies were taken when the response came.
QJsonArray forWholeBody(const QJsonArray& headers);

} // namespace FetchHeaders
