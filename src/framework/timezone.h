#pragma once

// Names the zone file in TZ when the environment leaves TZ unset, as a service manager does:
// unset, the C library reads the file again at every local-time conversion, a stat at least,
// on every tap and scan. Named, it keeps the zone it loaded first, so a change of the device's
// zone takes a restart. A TZ that is set, even empty, is left as it is. Call it at the start
// of main, before any other thread runs and before anything converts a local time.
void keepLoadedTimeZone();
