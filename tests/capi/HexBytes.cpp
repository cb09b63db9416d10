#include "tests/capi/HexBytes.h"

#include <cstdio>
#include <sstream>

namespace capi::test {

Bytes FromHex(const std::string& hex) {
    std::istringstream in(hex);
    std::string token;
    Bytes bytes;
    while (in >> token)
        bytes.push_back(static_cast<uint8_t>(std::stoul(token == "??" ? "0" : token, nullptr, 16)));
    return bytes;
}

std::string ToHex(const uint8_t* data, size_t length) {
    std::string text;
    char digits[4];
    for (size_t i = 0; i < length; ++i) {
        std::snprintf(digits, sizeof digits, "%02x", data[i]);
        if (!text.empty()) text += ' ';
        text += digits;
    }
    return text;
}

bool Matches(const Bytes& actual, const std::string& pattern) {
    std::istringstream in(pattern);
    std::string token;
    size_t i = 0;
    while (in >> token) {
        if (i >= actual.size()) return false;
        if (token != "??" && actual[i] != std::stoul(token, nullptr, 16)) return false;
        ++i;
    }
    return i == actual.size();
}

}  // namespace capi::test
