#include "support/RecordingBrowser.h"

#include "platform/Failure.h"

namespace {
class RecordingBrowser : public Browser
{
public:
    RecordingBrowser(RecordingBrowserFactory& factory, QString name)
        : m_factory(factory), m_name(std::move(name))
    {}

    void setVisible(bool visible) override
    {
        record(QStringLiteral("Visible=") + (visible ? "true" : "false"));
    }
    void setTop(double pixels) override { record(QStringLiteral("Top=%1").arg(pixels)); }
    void setLeft(double pixels) override { record(QStringLiteral("Left=%1").arg(pixels)); }
    void setWidth(double pixels) override { record(QStringLiteral("Width=%1").arg(pixels)); }
    void setHeight(double pixels) override { record(QStringLiteral("Height=%1").arg(pixels)); }
    void Navigate(const QString& url) override
    {
        record(QStringLiteral("Navigate(%1)").arg(url));
        m_lastUrl = url;
        m_factory.loadEnded.remove(m_name);
    }
    void NavigateBack(const QString& url) override
    {
        record(QStringLiteral("NavigateBack(%1)").arg(url));
        m_lastUrl = url;
        m_factory.loadEnded.remove(m_name);
    }
    QString LocationURL() override
    {
        record(QStringLiteral("LocationURL"));
        return m_factory.location.value(m_name, m_lastUrl);
    }
    void Quit() override { record(QStringLiteral("Quit")); }
    void watchStepKeys(std::function<void(StepKey)> pressed) override
    {
        m_factory.stepKeyWatchers.insert(m_name, std::move(pressed));
    }
    void watchUserInput(std::function<void()> active) override
    {
        m_factory.inputWatchers.insert(m_name, std::move(active));
    }
    void watchPassedOver(std::function<void(const QString&, const QString&)> passedOver) override
    {
        m_factory.passedOverWatchers.insert(m_name, std::move(passedOver));
    }
    void watchEnd(std::function<void()> gone) override
    {
        m_factory.endWatchers.insert(m_name, std::move(gone));
    }
    void watchPageLoads(std::function<void()> loaded) override
    {
        m_factory.loadWatchers.insert(m_name, loaded);
        if (m_factory.loadEnded.contains(m_name))
            loaded();
    }

private:
    void record(const QString& what) { m_factory.failAfterRecording(m_name + '.' + what); }

    RecordingBrowserFactory& m_factory;
    QString m_name;
    QString m_lastUrl;
};
} // namespace

void RecordingBrowserFactory::failAfterRecording(const QString& call)
{
    calls << call;
    for (auto it = failures.begin(); it != failures.end(); ++it) {
        if (call.startsWith(it.key())) {
            const int number = it.value();
            failures.erase(it);
            throw Failure(number);
        }
    }
}

std::unique_ptr<Browser> RecordingBrowserFactory::create()
{
    const QString name = created++ == 0 ? QStringLiteral("Main") : QStringLiteral("Prefetch");
    failAfterRecording(QStringLiteral("create ") + name);
    return std::make_unique<RecordingBrowser>(*this, name);
}

void RecordingBrowserFactory::dropBrowser()
{
    calls << QStringLiteral("drop");
    created = 0;
}

void RecordingBrowserFactory::endBrowser(const QString& name)
{
    if (const auto watcher = endWatchers.take(name))
        watcher();
}

void RecordingBrowserFactory::pressStepKey(StepKey key, const QString& name)
{
    if (const auto watcher = stepKeyWatchers.value(name))
        watcher(key);
}

void RecordingBrowserFactory::workInPage(const QString& name)
{
    if (const auto watcher = inputWatchers.value(name))
        watcher();
}

void RecordingBrowserFactory::finishLoad(const QString& name)
{
    loadEnded.insert(name);
    if (const auto watcher = loadWatchers.value(name))
        watcher();
}

void RecordingBrowserFactory::passOver(const QString& link, const QString& why, const QString& name)
{
    if (const auto watcher = passedOverWatchers.value(name))
        watcher(link, why);
}

QStringList RecordingBrowserFactory::callsStartingWith(const QString& prefix) const
{
    QStringList matching;
    for (const QString& call : calls)
        if (call.startsWith(prefix))
            matching << call;
    return matching;
}
