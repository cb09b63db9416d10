#include "gateway/StatusPage.h"

#include <cstring>
#include <fstream>
#include <string_view>

#include "gateway/IsdnBridge.h"
#include "isdn/ErrText.h"
#include "platform/Format.h"
#include "res/Resource.h"
#include "res/StringTable.h"

namespace gateway {
namespace {

// The number comes from the user or the command line and the texts from the
// table; none of them may turn into markup of the page.
std::string EscapeHtml(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                escaped += c;
                break;
        }
    }
    return escaped;
}

std::string HeaderText(const CIsdnBridge& bridge) {
    return platform::FormatRuntime(res::LoadString(res::IDS_PAGE_HEADER).c_str(),
                                   EscapeHtml(bridge.m_strNumber).c_str());
}

std::string StatusText(const CIsdnBridge& bridge) {
    std::string status;
    const int code = bridge.GetStatusText(status);
    const uint16_t reason = bridge.m_wReason;
    if (code == isdn::STATUS_READY && reason == 0) {
        return platform::FormatRuntime(res::LoadString(res::IDS_PAGE_STATUS).c_str(),
                                       EscapeHtml(status).c_str());
    }
    const std::string reasonText = isdn::CErrText().GetReasonText(reason);
    return platform::FormatRuntime(res::LoadString(res::IDS_PAGE_STATUS_REASON).c_str(),
                                   EscapeHtml(status).c_str(), EscapeHtml(reasonText).c_str());
}

// The text inserted after a tag, or nothing when the tag is no placeholder.
std::optional<std::string> Insertion(std::string_view tag, const CIsdnBridge& bridge) {
    if (tag == "HEADER /") return HeaderText(bridge);
    if (tag == "STATUS /") return StatusText(bridge);
    if (tag == "INFO /") return std::string();
    return std::nullopt;
}

}  // namespace

CStatusPage::CStatusPage(CIsdnBridge* bridge, const std::vector<std::string>& templatePaths)
    : m_pBridge(bridge) {
    const std::vector<std::string> paths =
        templatePaths.empty()
            ? std::vector<std::string>{res::LoadString(res::IDS_STATUS_TEMPLATE_FILE)}
            : templatePaths;
    for (const std::string& path : paths) {
        std::ifstream probe(path, std::ios::binary);
        if (!probe.is_open()) continue;
        probe.close();
        ReadTemplate(path);
        return;
    }
}

void CStatusPage::ReadTemplate(const std::string& path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file.is_open()) return;
    const std::streamoff size = file.tellg();
    if (size <= 0 || static_cast<size_t>(size) > kMaxTemplateSize) return;
    const auto length = static_cast<size_t>(size);
    auto text = std::make_unique<char[]>(length + 1);
    file.seekg(0);
    if (!file.read(text.get(), static_cast<std::streamsize>(length))) return;
    text[length] = '\0';
    m_pszTemplate = std::move(text);
}

std::optional<std::string> ExpandStatusPage(const CStatusPage* page) {
    if (!page || !page->m_pszTemplate || !page->m_pBridge) return std::nullopt;
    // The template is a zero-terminated text: a NUL byte in the file ends it.
    const std::string_view text(page->m_pszTemplate.get());
    std::string out;
    out.reserve(text.size() + 256);
    size_t tagStart = std::string_view::npos;
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '<') {
            tagStart = i + 1;
        } else if (text[i] == '>' && tagStart != std::string_view::npos) {
            // The mark stays until the next '<'.
            if (auto insertion = Insertion(text.substr(tagStart, i - tagStart), *page->m_pBridge)) {
                out += *insertion;
            }
        }
    }
    return out;
}

}  // namespace gateway
