#pragma once

#include <QJsonArray>

// Decides, from a document's response headers, whether the hidden instance may let it load: a
// response that the browser would save as a download or play as media must not, since nobody
// would see it and the user would find the file or hear the sound.
class HiddenResponsePolicy
{
public:
    // `responseHeaders` as the Fetch domain gives them: [{name, value}, ...].
    static bool mayLoad(int statusCode, const QJsonArray& responseHeaders);
};
