#include "session/Module1.h"

#include "platform/Clock.h"

Module1::Module1(Platform& platform, BrowserFactory& browserFactory)
    : platform(platform), browserFactory(browserFactory),
      log(platform.installDir + QStringLiteral("error.log"), platform.clock, platform.dialogs),
      ThemeFile(defaultThemeFile())
{}

Module1::~Module1()
{
    delete Form2.data();
    delete Form3.data();
    delete Form4.data();
}
