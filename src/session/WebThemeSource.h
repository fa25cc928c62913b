#pragma once

#include "web/ListFetch.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class Module1;

// The theme file at a web address: read when it is opened, asked for again, conditionally and
// without waiting, at each round of an unattended screen, and kept in the user's cache folder
// for a start without a network. Nothing is ever sent back to the server.
class WebThemeSource : public QObject
{
    Q_OBJECT
public:
    explicit WebThemeSource(Module1& m);
    ~WebThemeSource() override;

    // The list's bytes, read now (conditionally when `address` is the list already read). When
    // the address cannot be read, the last copy read from it, from memory or from the cache;
    // none when there is no copy at all. A failure is logged once until a reading succeeds.
    std::optional<QByteArray> read(const QString& address);
    // Asks whether the list at `address` changed, unless it is being asked already; a changed
    // list waits in takeChange(), and changeArrived() tells of it.
    void refresh(const QString& address);
    // The list's new bytes when a refresh found a change since the last load of `address`.
    std::optional<QByteArray> takeChange(const QString& address);
    // Whether a refresh is on its way.
    bool asking() const { return m_asking != nullptr; }

    ListFetch::Limits limits;

signals:
    void changeArrived();

private:
    void follow(const QString& address);
    // The list's bytes after `answer`, or none when it failed.
    std::optional<QByteArray> take(const ListFetch::Answer& answer);
    void failed(const QString& reason);
    std::optional<QByteArray> lastCopy() const;
    QNetworkAccessManager& network();

    Module1& m;
    // Made at the first address: a program that steps through files has no use for it.
    std::unique_ptr<QNetworkAccessManager> m_network;
    QString m_address;
    ListFetch::Validators m_validators;
    std::optional<QByteArray> m_last;
    std::optional<QByteArray> m_change;
    bool m_outage = false;
    std::unique_ptr<ListFetch> m_asking;
};
