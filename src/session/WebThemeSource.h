#pragma once

#include "web/ListFetch.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class Module1;

// The theme file at a web address: read when it is opened, asked for again, conditionally, at
// each round of an unattended screen, and kept in the user's cache folder for a start without
// a network. Nothing waits for a server, and nothing is ever sent back to it. A list's bytes go
// only to that list's own copy.
class WebThemeSource : public QObject
{
    Q_OBJECT
public:
    explicit WebThemeSource(Module1& m);
    ~WebThemeSource() override;

    // Starts reading `address` for its opening, in place of any reading still on its way;
    // `opened` tells its end.
    void open(const QString& address);
    // The address whose opening is on its way; empty when none.
    QString opening() const;
    // Gives up the opening on its way: its answer never comes.
    void forget();
    // The copy kept from the last reading of `address`, from memory or the cache folder.
    std::optional<QByteArray> keptCopy(const QString& address);
    // Asks whether the list at `address` changed, unless it is being asked already; a changed
    // list waits in takeChange(), and changeArrived() tells of it.
    void refresh(const QString& address);
    // The list's new bytes when a refresh found a change since the last load of `address`.
    std::optional<QByteArray> takeChange(const QString& address);
    // Whether a reading is on its way.
    bool asking() const { return m_asking || m_opening; }

    ListFetch::Limits limits;

signals:
    // The opening of `address` ended: with the list's bytes, or none when the server gave
    // none (already logged).
    void opened(const QString& address, const std::optional<QByteArray>& bytes);
    void changeArrived();

private:
    void follow(const QString& address);
    std::unique_ptr<ListFetch> ask(const QString& address);
    // The list's bytes after `answer`, or none when it failed.
    std::optional<QByteArray> take(const QString& address, const ListFetch::Answer& answer);
    void keep(const QString& address, const QByteArray& body);
    void failed(const QString& reason);
    QNetworkAccessManager& network();

    Module1& m;
    // Made at the first address: a program that steps through files has no use for it.
    std::unique_ptr<QNetworkAccessManager> m_network;
    QString m_address;
    ListFetch::Validators m_validators;
    std::optional<QByteArray> m_last;
    std::optional<QByteArray> m_change;
    bool m_outage = false;
    std::unique_ptr<ListFetch> m_opening;
    std::unique_ptr<ListFetch> m_asking;
};
