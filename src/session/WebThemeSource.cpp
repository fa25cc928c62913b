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

std::unique_ptr<ListFetch> WebThemeSource::ask(const QString& address)
{
    auto fetch = std::make_unique<ListFetch>(network(), limits);
    fetch->start(address, m_last ? m_validators : ListFetch::Validators{});
    return fetch;
}

void WebThemeSource::open(const QString& address)
{
    follow(address);
    m_asking.reset();
    m_change.reset();
    m_opening = ask(address);
    connect(m_opening.get(), &ListFetch::finished, this,
            [this, address](const ListFetch::Answer& answer) {
                // The request goes once this handler has returned.
                m_opening.release()->deleteLater();
                std::optional<QByteArray> bytes;
                // A log that cannot be written: the load meets it on its own path.
                try {
                    const bool hadCopy = m_last.has_value();
                    bytes = take(address, answer);
                    if (!bytes) {
                        bytes = keptCopy(address);
                        if (bytes && !hadCopy)
                            m.WriteLogLine(
                                QLatin1Char(' ') + WebAddress::shown(address) +
                                QStringLiteral(" shows the copy kept from its last reading"));
                        m_last = bytes;
                    }
                } catch (const Failure&) {
                }
                emit opened(address, bytes);
            });
}

QString WebThemeSource::opening() const
{
    return m_opening ? m_opening->address() : QString();
}

void WebThemeSource::forget()
{
    m_opening.reset();
}

std::optional<QByteArray> WebThemeSource::keptCopy(const QString& address)
{
    if (address == m_address && m_last)
        return m_last;
    try {
        return FileStore::read(WebAddress::cacheFile(address));
    } catch (const Failure&) {
        return std::nullopt;
    }
}

void WebThemeSource::refresh(const QString& address)
{
    follow(address);
    if (asking())
        return;
    m_asking = ask(address);
    connect(m_asking.get(), &ListFetch::finished, this,
            [this, address](const ListFetch::Answer& answer) {
                m_asking.release()->deleteLater();
                const std::optional<QByteArray> before = m_last;
                try {
                    std::optional<QByteArray> bytes = take(address, answer);
                    if (bytes && bytes != before)
                        m_change = std::move(bytes);
                } catch (const Failure&) {
                }
                if (m_change)
                    emit changeArrived();
            });
}

std::optional<QByteArray> WebThemeSource::takeChange(const QString& address)
{
    if (address != m_address)
        return std::nullopt;
    return std::exchange(m_change, std::nullopt);
}

std::optional<QByteArray> WebThemeSource::take(const QString& address,
                                               const ListFetch::Answer& answer)
{
    using Kind = ListFetch::Answer::Kind;
    // Only a reading that sent a validator can be answered "unchanged".
    if (answer.kind == Kind::Unchanged && !m_last) {
        failed(QStringLiteral("the server answered 304 Not Modified to a first reading, which "
                              "leaves no list to show"));
        return std::nullopt;
    }
    if (answer.kind == Kind::Failed) {
        failed(answer.reason);
        return std::nullopt;
    }
    m_outage = false;
    if (answer.kind == Kind::Unchanged)
        return m_last;
    m_validators = answer.validators;
    m_last = answer.body;
    keep(address, answer.body);
    return m_last;
}

// The copy for a start without a network is a convenience: a cache that cannot be written
// costs only that.
void WebThemeSource::keep(const QString& address, const QByteArray& body)
{
    try {
        const QString file = WebAddress::cacheFile(address);
        QDir().mkpath(QFileInfo(file).path());
        FileStore::save(file, body);
    } catch (const Failure&) {
    }
}

// An outage is logged when it begins, not at every round that it lasts.
void WebThemeSource::failed(const QString& reason)
{
    if (m_outage)
        return;
    m_outage = true;
    // Qt's own texts may quote the address, password and all.
    QString told = reason;
    const QUrl url = WebAddress::url(m_address);
    for (const QString& userInfo :
         {url.userInfo(QUrl::FullyEncoded), url.userInfo(QUrl::PrettyDecoded)}) {
        if (!userInfo.isEmpty())
            told.remove(userInfo + QLatin1Char('@'));
    }
    m.WriteLogLine(QLatin1Char(' ') + WebAddress::shown(m_address) +
                   QStringLiteral(" could not be read: ") + told);
}
