#pragma once

#include <QString>

// What the browser is sent for a link of a theme file: an empty link shows a blank page, a local
// path becomes a file: URL, an address without a scheme ("www.example.com") gets http, and an
// address with a scheme goes as it is.
QString navigationUrl(const QString& link);

// What the visible window is sent for a link: navigationUrl(), or a blank page for every address
// that it must not be sent to. Only web pages, local files, data: and about: addresses are shown;
// a link that is no address at all, a javascript: one, one longer than the browser takes, and every
// other scheme (mailto:, ftp:, tel:, custom schemes that the desktop hands to another program,
// chrome: and view-source: pages of the browser itself) all show a blank page.
QString shownAddress(const QString& link);

// True for the addresses that the hidden instance loads ahead; only fetches over the network
// warm the cache, so it shows a blank page for everything else (files, data: URLs, scripts).
bool isWorthLoadingAhead(const QString& url);

// True when the window, showing `shown`, prerenders `next` as it would be shown from there: a
// web page of the same origin, other than the page on show itself.
bool isPrerenderedFrom(const QString& shown, const QString& next);

// True when a web page `next` is plainly of another site than the web page `shown`: another
// scheme, or hosts whose last two labels differ (a site is a registrable domain, which ends in at
// least those), or another IP address. False whenever in doubt: two hosts under one public suffix
// of more labels ("a.example.co.uk", "b.other.co.uk") count as one site.
bool isAnotherSite(const QString& shown, const QString& next);

// The scheme of `address` as a browser's URL parser reads it, in lower case (tabs and line breaks
// anywhere dropped, blanks and control characters before it taken off); empty when the address
// has none (a relative one).
QString urlScheme(const QString& address);

// True for an address that the browser would run as script in the page on show: the scheme
// javascript in any spelling that a browser's URL parser takes for it (any case, blanks and
// control characters before it, tabs and line breaks anywhere in it).
bool isScriptUrl(const QString& address);

// The longest address that the browser takes (2 MiB, its limit after it has percent-encoded the
// address); a longer one it refuses to load at all.
constexpr qsizetype MaxBrowserUrlLength = qsizetype{2} * 1024 * 1024;
bool isTooLongForBrowser(const QString& address);
