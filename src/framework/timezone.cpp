#include "framework/timezone.h"

#include <QtGlobal>

#include <time.h>

void keepLoadedTimeZone()
{
    if (qEnvironmentVariableIsSet("TZ"))
        return;
    // The leading colon: a file, the one the library would read without TZ.
    qputenv("TZ", QByteArrayLiteral(":/etc/localtime"));
    tzset();
}
