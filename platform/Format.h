#pragma once

#include <string>

namespace platform {

// printf-style formatting into a string (the framework's Format). Format
// strings come from the program's own string table, never from input.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The same, for a format string loaded at run time; the arguments must match
// the conversions the table entry has.
std::string FormatRuntime(const char* format, ...);

}  // namespace platform
