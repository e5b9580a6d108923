#pragma once

#include <string>

// The device serial number: the first whitespace-delimited word of the serial-number file,
// read afresh at every call; empty when the file is missing, unreadable or blank. Never logs.
std::string getSerialNumber();
