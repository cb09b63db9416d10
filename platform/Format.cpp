#include "platform/Format.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace platform {
namespace {

std::string FormatList(const char* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    const int needed = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (needed <= 0) return {};
    std::vector<char> buffer(static_cast<size_t>(needed) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
#pragma GCC diagnostic pop
    return std::string(buffer.data(), static_cast<size_t>(needed));
}

}  // namespace

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatList(format, args);
    va_end(args);
    return text;
}

std::string FormatRuntime(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatList(format, args);
    va_end(args);
    return text;
}

}  // namespace platform
