#include "browser/window/UnattendedStep.h"

#include "browser/Str.h"
#include "browser/ahead/KeptDocumentServer.h"
#include "browser/devtools/DevToolsConnection.h"
#include "browser/page/PageLoads.h"
#include "browser/page/ShownPage.h"

#include <QPointer>

UnattendedStep::UnattendedStep(DevToolsConnection& connection, const ShownPage& page,
                               KeptDocumentServer& server, QObject* parent)
    : QObject(parent), m_connection(connection), m_page(page), m_server(server)
{
    m_connection.subscribe("Page.downloadWillBegin", this, [this](const DevToolsEvent& event) {
        if (event.sessionId != m_page.sessionId() || m_link.isEmpty() ||
            m_page.loads().isSubframe(event.text("frameId")))
            return;
        passOver(QStringLiteral("a download"));
    });
}

void UnattendedStep::begin(const QString& link, bool timed)
{
    // Set before the page is asked for: its download may be reported while the step still runs.
    m_link = timed ? link : QString();
    refuseDownloads(timed);
    passOverFailures(timed);
}

void UnattendedStep::end()
{
    m_link.clear();
    refuseDownloads(false);
    passOverFailures(false);
}

void UnattendedStep::userActive()
{
    if (m_link.isEmpty())
        refuseDownloads(false);
}

// The setting holds for the whole profile, so it is given back as soon as it may be.
void UnattendedStep::refuseDownloads(bool refuse)
{
    if (refuse == m_refusingDownloads)
        return;
    m_refusingDownloads = refuse;
    // A browser that is gone is met by the next operation.
    m_connection.send(str("Browser.setDownloadBehavior"),
                      {{str("behavior"), refuse ? str("deny") : str("default")}});
}

void UnattendedStep::passOverFailures(bool on)
{
    if (!on) {
        m_server.passOverFailures({});
        return;
    }
    m_server.passOverFailures([step = QPointer(this)](const QString& why) {
        if (step)
            step->passOver(QStringLiteral("a link that did not load (%1)").arg(why));
    });
}

void UnattendedStep::passOver(const QString& why)
{
    const QString link = std::exchange(m_link, {});
    if (!link.isEmpty() && m_passedOver)
        m_passedOver(link, why);
}
