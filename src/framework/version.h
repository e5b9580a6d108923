#pragma once

// The program version ("1.2.18"); the application announces it as "v" followed by it.
const char *getProjectVersion();
