#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

// A theme file named by an http or https address instead of a path. The address is kept whole
// for reading; wherever it is shown or written down, a user name and password are left out.
namespace WebAddress {
bool is(const QString& name);
// The address to ask for. A user name or password may hold any character, an unescaped '@'
// included: the host begins after the last '@' before the path.
QUrl url(const QString& address);
// `name` as the caption and the log show it: an address without its user name and password,
// a path as it is.
QString shown(const QString& name);
// Where the last copy read from `address` is kept for a start without a network, below
// $XDG_CACHE_HOME (~/.cache when unset).
QString cacheFile(const QString& address);
// Why `body` is no list of links (a web page, binary data); none when it may be one.
std::optional<QString> notAList(const QByteArray& body, const QByteArray& contentType);
} // namespace WebAddress
