#include "FuzzCheck.h"

#include "themefile/ThemeLinks.h"
#include "themefile/ThemeTidy.h"

#include <QRegularExpression>

// Tidying changes how a file is written, never which links it holds; nor does writing its
// lines with LF instead of CR LF line ends.
namespace {
constexpr int limit = 500;

// A quoted field keeps the line ends inside it as the file writes them, and tidying writes
// them anew (a lone CR becomes CR LF, an empty line goes): there only the text between them
// must stay.
QStringList withLineEndsFolded(QStringList links)
{
    static const QRegularExpression lineEnds(QStringLiteral("[\\r\\n]+"));
    for (QString& link : links)
        link.replace(lineEnds, QStringLiteral("\n"));
    return links;
}

bool sameLinks(const QByteArray& a, const QByteArray& b)
{
    const ThemeLinks::Result first = ThemeLinks::read(a, limit);
    const ThemeLinks::Result second = ThemeLinks::read(b, limit);
    if (first.overflow != second.overflow)
        return false;
    if (!a.contains('"'))
        return first.links == second.links;
    return withLineEndsFolded(first.links) == withLineEndsFolded(second.links);
}

// Every LF that is not already part of a CR LF becomes one.
QByteArray lfAsCrLf(const QByteArray& content)
{
    QByteArray converted;
    for (qsizetype i = 0; i < content.size(); ++i) {
        if (content.at(i) == '\n' && (i == 0 || content.at(i - 1) != '\r'))
            converted.append('\r');
        converted.append(content.at(i));
    }
    return converted;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray content = fuzzBytes(data, size);
    const QByteArray tidied = ThemeTidy::tidy(content);
    fuzzCheck(sameLinks(content, tidied), "a file and its tidied bytes read the same links");
    // A quoted field keeps its line ends as they are written, so only unquoted files compare.
    if (!content.contains('"'))
        fuzzCheck(sameLinks(tidied, ThemeTidy::tidy(lfAsCrLf(content))),
                  "a file with LF line ends loads the links of its CR LF twin");
    return 0;
}
