#include "FuzzCheck.h"

#include "themefile/ThemeTidy.h"

namespace {
// Every CR is the first half of a CR LF, no line is empty, and a non-empty result ends with a
// line end.
bool onlyWholeLines(const QByteArray& tidied)
{
    if (tidied.isEmpty())
        return true;
    if (!tidied.endsWith("\r\n") || tidied.startsWith("\r\n") || tidied.contains("\r\n\r\n"))
        return false;
    for (qsizetype i = 0; i < tidied.size(); ++i) {
        if (tidied.at(i) == '\r' && (i + 1 >= tidied.size() || tidied.at(i + 1) != '\n'))
            return false;
    }
    return true;
}

// The bytes of the lines without their line ends: a CR, and an LF straight after a CR.
QByteArray lineBytes(const QByteArray& content)
{
    QByteArray kept;
    for (qsizetype i = 0; i < content.size(); ++i) {
        const char c = content.at(i);
        if (c == '\r' || (c == '\n' && i > 0 && content.at(i - 1) == '\r'))
            continue;
        kept.append(c);
    }
    return kept;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray content = fuzzBytes(data, size);
    const QByteArray tidied = ThemeTidy::tidy(content);
    fuzzCheck(onlyWholeLines(tidied), "tidied bytes hold only whole CR LF lines, none empty");
    fuzzCheck(ThemeTidy::tidy(tidied) == tidied, "tidying twice gives the bytes of tidying once");
    fuzzCheck(lineBytes(tidied) == lineBytes(content), "tidying keeps every byte of every line");
    return 0;
}
