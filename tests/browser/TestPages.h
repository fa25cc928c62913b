#pragma once

#include "LocalHttpServer.h"

#include <QByteArray>
#include <QString>

// A page whose title is `title`.
QByteArray page(const QByteArray& title, const QByteArray& body = {});
// What the test server answers at `path`: plain pages, redirects, downloads, dialogs, pages that
// may or may not be kept, and hostile pages for the hidden instance under /np/.
HttpResponse respond(const QString& path);
