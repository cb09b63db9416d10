#include "app/DefaultParts.h"

#include <filesystem>

#include "gateway/CapiBridgeParts.h"

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
    gateway::BridgeParts parts = gateway::CapiBridgeParts();
    parts.templatePaths = {"HttpStatus.html", InstalledTemplatePath()};
    return parts;
}

}  // namespace app
