#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace gateway {

class CIsdnBridge;

// The status page template, read once when the bridge starts. Tags in it
// whose whole text is "HEADER /", "STATUS /" or "INFO /" are placeholders;
// the page is made anew for every request from the bridge's call status.
class CStatusPage {
public:
    // A template larger than this is not a status page; it is refused.
    static constexpr size_t kMaxTemplateSize = 1024 * 1024;
    // How long a reply may take to reach a browser that reads slowly.
    static constexpr int kDefaultReplyBoundMs = 5000;

    // Reads the first of the files that opens (the string table's name when
    // none is given). An empty or refused file leaves no template.
    CStatusPage(CIsdnBridge* bridge, const std::vector<std::string>& templatePaths);
    CStatusPage(const CStatusPage&) = delete;
    CStatusPage& operator=(const CStatusPage&) = delete;
    ~CStatusPage() = default;

    std::unique_ptr<char[]> m_pszTemplate;  // zero-terminated; null when none
    CIsdnBridge* const m_pBridge;           // not owned
    int m_nReplyBoundMs = kDefaultReplyBoundMs;

private:
    void ReadTemplate(const std::string& path);
};

// The status page for the bridge's present status, or nothing when there is
// no template.
std::optional<std::string> ExpandStatusPage(const CStatusPage* page);

}  // namespace gateway
