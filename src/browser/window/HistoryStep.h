#pragma once

#include <QString>

#include <optional>

class DevToolsConnection;

// The id of the window's history entry just before the current one, when it shows `address`,
// as the link was sent or where its redirects ended: the step back that the browser's own Back
// takes (whole from its back-forward cache when it kept the page there). Nothing for any other
// entry, and for the answer to a form sent from the page, which going back to could send again.
std::optional<int> previousEntryShowing(DevToolsConnection& connection, const QString& sessionId,
                                        const QString& address);
