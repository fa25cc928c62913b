#include "browser/window/StepKeyBinding.h"

#include "browser/Str.h"
#include "browser/devtools/DevToolsConnection.h"
#include "browser/page/ShownPage.h"

namespace {
const char* const worldName = "quillon-step-keys";
const char* const bindingName = "quillonStepKey";

// %1: the binding, %2 and %3: the keys for left and right, %4: milliseconds between input
// reports. The world's own timer and clock: the page's scripts cannot replace them.
// Once per document: a document that comes while the script is still being added (the browser
// then hands the command to the new document's renderer as well) may run it twice, and a second
// listener would step twice for one key.
const char* const listenerScript = R"js((() => {
  if (globalThis.quillonListening)
    return;
  globalThis.quillonListening = true;
  const report = globalThis['%1'];
  const directions = { '%2': 'left', '%3': 'right' };
  let lastInputReport = -Infinity;
  let inputReportDue = false;
  const reportInput = () => {
    inputReportDue = false;
    lastInputReport = performance.now();
    report('input');
  };
  const onInput = (event) => {
    if (!event.isTrusted || inputReportDue)
      return;
    const wait = lastInputReport + %4 - performance.now();
    if (wait <= 0)
      reportInput();
    else {
      inputReportDue = true;
      setTimeout(reportInput, wait);
    }
  };
  for (const type of ['keydown', 'pointerdown', 'mousedown', 'wheel', 'touchstart',
                      'pointermove', 'mousemove'])
    globalThis.addEventListener(type, onInput, { capture: true, passive: true });
  globalThis.addEventListener('keydown', (event) => {
    const direction = directions[event.key];
    if (!direction || !event.isTrusted || event.repeat || event.altKey || event.ctrlKey ||
        event.metaKey || event.shiftKey)
      return;
    report(direction);
  }, true);
})();)js";

} // namespace

StepKeyBinding::StepKeyBinding(DevToolsConnection& connection, const ShownPage& page,
                               std::function<void()> inputSeen, QObject* parent)
    : QObject(parent), m_connection(connection), m_page(page), m_inputSeen(std::move(inputSeen))
{
    m_connection.subscribe("Runtime.bindingCalled", this, [this](const DevToolsEvent& event) {
        if (event.sessionId != m_page.sessionId() ||
            event.text("name") != QLatin1String(bindingName))
            return;
        const QString direction = event.text("payload");
        if (direction == QLatin1String("input")) {
            if (m_inputSeen)
                m_inputSeen();
            if (active)
                active();
        } else if (pressed && direction == QLatin1String("left")) {
            pressed(StepKey::Left);
        } else if (pressed && direction == QLatin1String("right")) {
            pressed(StepKey::Right);
        }
    });
}

// Binding calls come with the runtime domain. Isolated worlds come with the page domain, which
// every page of the window has on (PageLoads::watch()).
QList<std::pair<QString, QJsonObject>> StepKeyBinding::setUpCommands()
{
    const QString source = QString::fromUtf8(listenerScript)
                               .arg(str(bindingName), str(LeftKey), str(RightKey))
                               .arg(InputReportEveryMs);
    return {{str("Runtime.enable"), {}},
            {str("Runtime.addBinding"),
             {{str("name"), str(bindingName)}, {str("executionContextName"), str(worldName)}}},
            {str("Page.addScriptToEvaluateOnNewDocument"),
             {{str("source"), source},
              {str("worldName"), str(worldName)},
              {str("runImmediately"), true}}}};
}

void StepKeyBinding::install()
{
    for (const auto& [method, params] : setUpCommands())
        m_connection.postChecked(method, params, m_page.sessionId());
}

void StepKeyBinding::installIn(const QString& sessionId)
{
    for (const auto& [method, params] : setUpCommands())
        m_connection.post(method, params, sessionId);
}
