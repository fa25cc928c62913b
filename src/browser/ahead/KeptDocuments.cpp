#include "browser/ahead/KeptDocuments.h"

#include "browser/ahead/FetchHeaders.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>

namespace {
QString headerName(const QJsonValue& entry)
{
    return entry.toObject().value(QLatin1String("name")).toString();
}

QString headerValue(const QJsonValue& entry)
{
    return entry.toObject().value(QLatin1String("value")).toString();
}
} // namespace

KeptDocuments::KeptDocuments(BrowserClock& clock) : m_clock(clock) {}

bool KeptDocuments::mayBeKept(const QString& method, int status, const QJsonArray& headers)
{
    if (method.compare(QLatin1String("GET"), Qt::CaseInsensitive) != 0 || status < 200 ||
        status > 299)
        return false;
    for (const QJsonValue entry : headers) {
        if (headerName(entry).compare(QLatin1String("cache-control"), Qt::CaseInsensitive) != 0)
            continue;
        // Directives are separated by commas; a header may also hold several lines.
        const QString value = headerValue(entry).toLower();
        for (const QString& directive : value.split(QRegularExpression(QStringLiteral("[,\n]")))) {
            if (directive.trimmed().section(QLatin1Char('='), 0, 0).trimmed() ==
                QLatin1String("no-store"))
                return false;
        }
    }
    return true;
}

QString KeptDocuments::withoutFragment(const QString& url)
{
    const qsizetype hash = url.indexOf(QLatin1Char('#'));
    return hash < 0 ? url : url.left(hash);
}

qsizetype KeptDocuments::sizeOf(const Document& document)
{
    qsizetype size = document.body.size() + document.url.size() * 2;
    for (const QJsonValue entry : document.headers)
        size += (headerName(entry).size() + headerValue(entry).size()) * 2;
    return size;
}

// url and method are the request's own fields, read by name at each call.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
void KeptDocuments::keep(const QString& url, const QString& method, int status,
                         const QString& statusText, const QJsonArray& headers,
                         const QByteArray& body)
{
    const QString address = withoutFragment(url);
    removeAddress(address);
    if (!mayBeKept(method, status, headers))
        return;
    // The site answered it since: the cache holds that answer now.
    m_declined.removeAll(address);
    Document document{address, status,          statusText, FetchHeaders::forWholeBody(headers),
                      body,    m_clock.nowMs(), {},         false};
    const qsizetype size = sizeOf(document);
    if (size > MaxBytes)
        return;
    while (!m_documents.isEmpty() &&
           (m_documents.size() >= MaxDocuments || m_bytes + size > MaxBytes))
        removeAt(0);
    m_documents.append(std::move(document));
    m_bytes += size;
    m_peakBytes = std::max(m_peakBytes, m_bytes);
    if (m_kept)
        m_kept(address);
}

void KeptDocuments::decline(const QString& url)
{
    const QString address = withoutFragment(url);
    removeAddress(address);
    m_declined.removeAll(address);
    if (m_declined.size() >= MaxDeclined)
        m_declined.removeFirst();
    m_declined.append(address);
}

bool KeptDocuments::takeDeclined(const QString& url, const QString& method)
{
    return method.compare(QLatin1String("GET"), Qt::CaseInsensitive) == 0 &&
           m_declined.removeAll(withoutFragment(url)) > 0;
}

void KeptDocuments::noteCookies(const QString& url, const Cookies& cookies)
{
    const QString address = withoutFragment(url);
    for (Document& document : m_documents) {
        if (document.url == address && !document.cookies)
            document.cookies = cookies;
    }
}

KeptDocuments::Cookies KeptDocuments::cookieState(const QJsonArray& cookies)
{
    Cookies state;
    for (const QJsonValue cookie : cookies) {
        QByteArray key;
        for (const char* field : {"name", "domain", "path"})
            key += cookie[QLatin1String(field)].toString().toUtf8() + '\0';
        key += QJsonDocument(QJsonArray{cookie[QLatin1String("partitionKey")]})
                   .toJson(QJsonDocument::Compact);
        state.insert(key, {cookie[QLatin1String("value")].toString().toUtf8(),
                           cookie[QLatin1String("httpOnly")].toBool()});
    }
    return state;
}

bool KeptDocuments::stillAnswers(const Cookies& kept, const Cookies& now, bool handedOut)
{
    if (!handedOut)
        return kept == now;
    for (auto it = kept.begin(); it != kept.end(); ++it) {
        const auto found = now.find(it.key());
        if (found == now.end() || (found->httpOnly && *found != *it))
            return false;
    }
    for (auto it = now.begin(); it != now.end(); ++it) {
        if (it->httpOnly && !kept.contains(it.key()))
            return false;
    }
    return true;
}

void KeptDocuments::handOut(const QString& url)
{
    const QString address = withoutFragment(url);
    for (Document& document : m_documents) {
        if (document.url == address)
            document.handedOut = true;
    }
}

// As keep(): url and method come by name from the request.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
std::optional<KeptDocuments::Document> KeptDocuments::take(const QString& url,
                                                           const QString& method)
{
    const qsizetype index = indexOf(url, method);
    if (index < 0)
        return std::nullopt;
    m_bytes -= sizeOf(m_documents[index]);
    return m_documents.takeAt(index);
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
std::optional<KeptDocuments::Document> KeptDocuments::find(const QString& url,
                                                           const QString& method)
{
    const qsizetype index = indexOf(url, method);
    return index < 0 ? std::nullopt : std::optional(m_documents[index]);
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
qsizetype KeptDocuments::indexOf(const QString& url, const QString& method)
{
    if (method.compare(QLatin1String("GET"), Qt::CaseInsensitive) != 0)
        return -1;
    const QString address = withoutFragment(url);
    const qint64 now = m_clock.nowMs();
    // Documents past their time go, whatever is asked.
    for (qsizetype i = m_documents.size() - 1; i >= 0; --i) {
        if (now - m_documents[i].keptAtMs > MaxAgeMs)
            removeAt(i);
    }
    for (qsizetype i = 0; i < m_documents.size(); ++i) {
        if (m_documents[i].url == address)
            return i;
    }
    return -1;
}

void KeptDocuments::removeAddress(const QString& address)
{
    for (qsizetype i = m_documents.size() - 1; i >= 0; --i) {
        if (m_documents[i].url == address)
            removeAt(i);
    }
}

void KeptDocuments::removeAt(qsizetype index)
{
    m_bytes -= sizeOf(m_documents[index]);
    m_documents.removeAt(index);
}
