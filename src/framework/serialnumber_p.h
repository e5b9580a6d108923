#pragma once

#include <string>

// For tests only: read the serial number from another file; an empty path restores the
// device's own file.
void setSerialNumberFile(const std::string &path);

// At most this many bytes of the file are read: a word longer than that is cut there.
constexpr int SerialNumberReadLimit = 256;
