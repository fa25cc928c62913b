#include "capture/LinkRecord.h"

#include "links/format/LineCodec.h"
#include "platform/FileStore.h"
#include "platform/TextFile.h"

QString LinkRecord::asField(const QString& text)
{
    if (text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')))
        return QLatin1Char('"') + text + QLatin1Char('"');
    return text;
}

QByteArray LinkRecord::bytes(const QString& text, bool windows1252File)
{
    return "\r\n" + LineCodec::encode(asField(text), windows1252File) + "\r\n";
}

void LinkRecord::appendTo(const QString& path, const QString& text)
{
    const QByteArray content = FileStore::exists(path) ? TextFile::readAll(path) : QByteArray();
    FileStore::replace(path, content + bytes(text, LineCodec::isWindows1252File(content)));
}
