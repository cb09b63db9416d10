#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace capi::test {

using Bytes = std::vector<uint8_t>;

// "0d 00 42" -> bytes; "??" stands for a byte not compared (see Matches).
Bytes FromHex(const std::string& hex);
std::string ToHex(const uint8_t* data, size_t length);
inline std::string ToHex(const Bytes& bytes) {
    return ToHex(bytes.data(), bytes.size());
}
// Compares with a pattern from FromHex-style text in which "??" matches any byte.
bool Matches(const Bytes& actual, const std::string& pattern);

}  // namespace capi::test
