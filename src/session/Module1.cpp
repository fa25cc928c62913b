#include "session/Module1.h"

#include "platform/Clock.h"
#include "session/ThemeDocument.h"

Module1::Module1(Platform& platform, BrowserFactory& browserFactory)
    : platform(platform), browserFactory(browserFactory),
      log(platform.installDir + QStringLiteral("error.log"), platform.clock, platform.dialogs),
      m_theme(std::make_unique<ThemeDocument>(*this))
{}

Module1::~Module1()
{
    delete Form2.data();
    delete Form3.data();
    delete Form4.data();
}

void Module1::messageBox(const QString& text, const QString& title, BoxIcon icon,
                         const QString& instead)
{
    if (!nobodyToAsk())
        platform.dialogs.messageBox(text, title, icon);
    else if (!instead.isEmpty())
        WriteLogLine(instead);
}
