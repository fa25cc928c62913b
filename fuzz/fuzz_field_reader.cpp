#include "FuzzCheck.h"

#include "themefile/FieldReader.h"
#include "themefile/ThemeLinks.h"

namespace {
constexpr int limit = 500;

// Every read moves on and the line that a field stands on lies inside the data.
void readFieldByField(const QByteArray& content)
{
    FieldReader reader(content);
    const char* begin = content.constData();
    const char* end = begin + content.size();
    while (!reader.atEnd()) {
        const QByteArray field = reader.readField();
        const QByteArrayView line = reader.lastFieldLine();
        fuzzCheck(line.isEmpty() || (line.data() >= begin && line.data() + line.size() <= end),
                  "the line of a field lies inside the data");
        fuzzCheck(field.size() <= content.size(), "a field is never longer than the data");
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray content = fuzzBytes(data, size);
    readFieldByField(content);
    const ThemeLinks::Result links = ThemeLinks::read(content, limit);
    fuzzCheck(links.links.size() <= limit, "never more links than the list holds");
    return 0;
}
