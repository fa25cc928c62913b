#include "themefile/LinkRecord.h"

#include "themefile/LineCodec.h"
#include "themefile/LinkField.h"

QByteArray LinkRecord::bytes(const QString& text, const QByteArray& content)
{
    const bool lineEnded = content.isEmpty() || content.endsWith('\r') || content.endsWith("\r\n");
    const QByteArray line =
        LineCodec::encode(LinkField::asField(text), LineCodec::isWindows1252File(content)) + "\r\n";
    return lineEnded ? line : "\r\n" + line;
}
