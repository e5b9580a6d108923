#include "framework/version.h"

const char *getProjectVersion()
{
    return ZUB_VERSION;
}
