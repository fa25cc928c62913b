#include "platform/Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must stand outside any namespace.
static void initQuillonResources()
{
    Q_INIT_RESOURCE(resources);
}

void initResources()
{
    initQuillonResources();
}
