#include "session/WebThemeSource.h"

#include "platform/Failure.h"
#include "platform/FileStore.h"
#include "session/Module1.h"
#include "web/WebAddress.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <utility>

WebThemeSource::WebThemeSource(Module1& m) : m(m) {}

WebThemeSource::~WebThemeSource() = default;

QNetworkAccessManager& WebThemeSource::network()
{
    if (!m_network)
        m_network = std::make_unique<QNetworkAccessManager>();
    return *m_network;
}

// Another address starts afresh: what was known of the last one says nothing about it.
void WebThemeSource::follow(const QString& address)
{
    if (address == m_address)
        return;
    m_asking.reset();
    m_address = address;
    m_validators = {};
    m_last.reset();
    m_change.reset();
    m_outage = false;
}

std::optional<QByteArray> WebThemeSource::read(const QString& address)
{
    follow(address);
    m_asking.reset();
    m_change.reset();
    const ListFetch::Answer answer = ListFetch::fetch(
        network(), limits, address, m_last ? m_validators : ListFetch::Validators{});
    if (std::optional<QByteArray> bytes = take(answer))
        return bytes;
    std::optional<QByteArray> copy = lastCopy();
    if (copy && !m_last)
        m.WriteLogLine(QLatin1Char(' ') + WebAddress::shown(address) +
                       QStringLiteral(" shows the copy kept from its last reading"));
    m_last = copy;
    return copy;
}

void WebThemeSource::refresh(const QString& address)
{
    follow(address);
    if (m_asking)
        return;
    m_asking = std::make_unique<ListFetch>(network(), limits);
    connect(m_asking.get(), &ListFetch::finished, this, [this](const ListFetch::Answer& answer) {
        // The request goes once this handler has returned.
        m_asking.release()->deleteLater();
        const std::optional<QByteArray> before = m_last;
        try {
            std::optional<QByteArray> bytes = take(answer);
            if (bytes && bytes != before)
                m_change = std::move(bytes);
        } catch (const Failure&) {
            // A log that cannot be written: the next load meets it on its own path.
        }
        if (m_change)
            emit changeArrived();
    });
    m_asking->start(address, m_last ? m_validators : ListFetch::Validators{});
}

std::optional<QByteArray> WebThemeSource::takeChange(const QString& address)
{
    if (address != m_address)
        return std::nullopt;
    return std::exchange(m_change, std::nullopt);
}

std::optional<QByteArray> WebThemeSource::take(const ListFetch::Answer& answer)
{
    using Kind = ListFetch::Answer::Kind;
    if (answer.kind == Kind::Failed) {
        failed(answer.reason);
        return std::nullopt;
    }
    m_outage = false;
    if (answer.kind == Kind::Unchanged)
        return m_last;
    m_validators = answer.validators;
    m_last = answer.body;
    // The copy for a start without a network is a convenience: a cache that cannot be written
    // costs only that.
    try {
        const QString file = WebAddress::cacheFile(m_address);
        QDir().mkpath(QFileInfo(file).path());
        FileStore::save(file, answer.body);
    } catch (const Failure&) {
    }
    return m_last;
}

// An outage is logged when it begins, not at every round that it lasts.
void WebThemeSource::failed(const QString& reason)
{
    if (m_outage)
        return;
    m_outage = true;
    // Qt's own texts may quote the address, password and all.
    const QString userInfo = QUrl(m_address).userInfo(QUrl::FullyEncoded);
    QString told = reason;
    if (!userInfo.isEmpty())
        told.remove(userInfo + QLatin1Char('@'));
    m.WriteLogLine(QLatin1Char(' ') + WebAddress::shown(m_address) +
                   QStringLiteral(" could not be read: ") + told);
}

std::optional<QByteArray> WebThemeSource::lastCopy() const
{
    if (m_last)
        return m_last;
    try {
        return FileStore::read(WebAddress::cacheFile(m_address));
    } catch (const Failure&) {
        return std::nullopt;
    }
}
