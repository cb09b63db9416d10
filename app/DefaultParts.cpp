#include "app/DefaultParts.h"

#include <filesystem>

namespace app {
namespace {

std::string InstalledTemplatePath() {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    return (executable.parent_path() / ".." / "share" / "quorbel" / "HttpStatus.html").string();
}

}  // namespace

gateway::BridgeParts DefaultBridgeParts() {
    gateway::BridgeParts parts;
    parts.capiInstalled = [] { return uint32_t{0x1109}; };
    parts.templatePaths = {"HttpStatus.html", InstalledTemplatePath()};
    return parts;
}

}  // namespace app
