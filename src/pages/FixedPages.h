#pragma once

#include <QString>

class Module1;

// The partner site's home page and the support page, shown in the visible browser.
namespace FixedPages {
const QString Corvane = QStringLiteral("http://www.corvane.example/");
const QString Support = QStringLiteral("http://support.corvane.example/quillon");
} // namespace FixedPages

// The page first, then the entry; no failure path of its own.
void CorvaneCommand(Module1& m);
// The entry first, then the page; any failure ends through BrowserFailure.
void SupportCommand(Module1& m);
