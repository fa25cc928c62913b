#include "browser/page/PageLoads.h"

#include "browser/Str.h"
#include "browser/devtools/DevToolsConnection.h"

PageLoads::PageLoads(DevToolsConnection& connection, QObject* parent)
    : QObject(parent), m_connection(connection)
{
    for (const char* method : {"Page.frameAttached", "Page.frameDetached", "Page.frameNavigated",
                               "Page.loadEventFired", "Page.frameStoppedLoading"})
        connection.subscribe(method, this,
                             [this](const DevToolsEvent& event) { frameEvent(event); });
}

PageLoads::Commands PageLoads::watchCommands(bool lifecycle)
{
    Commands commands{{str("Page.enable"), {}}};
    if (lifecycle)
        commands.append({str("Page.setLifecycleEventsEnabled"), {{str("enabled"), true}}});
    return commands;
}

void PageLoads::watch(const QString& sessionId, bool lifecycle, Sending sending)
{
    for (const auto& [method, params] : watchCommands(lifecycle)) {
        if (sending == Sending::Settled)
            m_connection.postChecked(method, params, sessionId);
        else
            m_connection.send(method, params, sessionId);
    }
}

void PageLoads::frameEvent(const DevToolsEvent& event)
{
    const QString& method = event.method;
    const QString frameId = event.text("frameId");
    if (method == QLatin1String("Page.frameAttached")) {
        if (!event.text("parentFrameId").isEmpty())
            m_subframes.insert(frameId);
    } else if (method == QLatin1String("Page.frameDetached")) {
        if (event.text("reason") != QLatin1String("swap"))
            m_subframes.remove(frameId);
    } else if (method == QLatin1String("Page.frameNavigated")) {
        if (event.ofMainFrame())
            m_loaders.insert(
                event.sessionId,
                event.params.value(str("frame")).toObject().value(str("loaderId")).toString());
    } else if (method == QLatin1String("Page.loadEventFired")) {
        ++m_ends[event.sessionId];
        emit ended(event.sessionId, {});
    } else if (!isSubframe(frameId)) {
        ++m_ends[event.sessionId];
        emit ended(event.sessionId, frameId);
    }
}
