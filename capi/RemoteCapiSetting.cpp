#include "capi/RemoteCapiSetting.h"

#include <algorithm>
#include <charconv>
#include <utility>

namespace capi {
namespace {

// The library keeps driver and host in fixed buffers of its own; names much
// shorter than those are plenty for a driver name or a host.
constexpr size_t kMaxNameLength = 255;

bool IsNameChar(char c) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    const bool digit = c >= '0' && c <= '9';
    return letter || digit || c == '-' || c == '_' || c == '.';
}

bool IsName(std::string_view text) {
    return !text.empty() && text.size() <= kMaxNameLength &&
           std::all_of(text.begin(), text.end(), IsNameChar);
}

// The library stores the port as a signed 16-bit value and takes -1 (65535)
// for "no port", so the highest usable port is 65534.
std::optional<int> ParsePort(std::string_view text) {
    int port = 0;
    const char* end = text.data() + text.size();
    const auto [next, error] = std::from_chars(text.data(), end, port);
    if (text.empty() || error != std::errc() || next != end) return std::nullopt;
    if (port < 1 || port > 65534) return std::nullopt;
    return port;
}

}  // namespace

CRemoteCapiSetting::CRemoteCapiSetting(std::string driver, std::string host, int port)
    : m_strDriver(std::move(driver)), m_strHost(std::move(host)), m_nPort(port) {}

std::optional<CRemoteCapiSetting> CRemoteCapiSetting::Parse(std::string_view text,
                                                            std::string& error) {
    const size_t first = text.find(':');
    const size_t last = text.rfind(':');
    if (first == std::string_view::npos || first == last) {
        error = "expected driver:host:port";
        return std::nullopt;
    }
    const std::string_view driver = text.substr(0, first);
    const std::string_view host = text.substr(first + 1, last - first - 1);
    if (!IsName(driver)) {
        error = "invalid driver name";
        return std::nullopt;
    }
    if (!IsName(host)) {
        error = "invalid host name";
        return std::nullopt;
    }
    const std::optional<int> port = ParsePort(text.substr(last + 1));
    if (!port) {
        error = "port must be a number from 1 to 65534";
        return std::nullopt;
    }
    return CRemoteCapiSetting(std::string(driver), std::string(host), *port);
}

}  // namespace capi
