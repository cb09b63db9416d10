#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace capi {

// A remote CAPI server chosen without touching the library's configuration
// files: "driver:host:port", e.g. "rcapi:127.0.0.1:2662".
class CRemoteCapiSetting {
public:
    // Name of the environment variable that carries the setting.
    static constexpr const char* kVariable = "QUORBEL_CAPI";

    // The setting, or nothing with a reason in error when the text is malformed.
    static std::optional<CRemoteCapiSetting> Parse(std::string_view text, std::string& error);

    const std::string& Driver() const { return m_strDriver; }
    const std::string& Host() const { return m_strHost; }
    int Port() const { return m_nPort; }

private:
    CRemoteCapiSetting(std::string driver, std::string host, int port);

    std::string m_strDriver;
    std::string m_strHost;
    int m_nPort;
};

}  // namespace capi
