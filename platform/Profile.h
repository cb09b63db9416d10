#pragma once

#include <string>

namespace platform {

// The per-user profile: sections and values as in a registry profile, kept by
// QSettings under organisation "Brenwick", application "Quorbel"
// (~/.config/Brenwick/Quorbel.conf). Missing or unreadable values give the
// default; write failures are not reported.
class CProfile {
public:
    static std::string GetProfileString(const char* section, const char* entry,
                                        const std::string& defaultValue = {});
    static int GetProfileInt(const char* section, const char* entry, int defaultValue);
    static void WriteProfileString(const char* section, const char* entry,
                                   const std::string& value);
    static void WriteProfileInt(const char* section, const char* entry, int value);
};

}  // namespace platform
