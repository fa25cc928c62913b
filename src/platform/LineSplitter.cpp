#include "platform/LineSplitter.h"

TextLine LineSplitter::lineAt(QByteArrayView data, qsizetype start)
{
    const qsizetype cr = data.indexOf('\r', start);
    if (cr < 0)
        return {start, data.size(), data.size()};
    const bool lf = cr + 1 < data.size() && data.at(cr + 1) == '\n';
    return {start, cr, cr + (lf ? 2 : 1)};
}
