#pragma once

#include <string>

namespace sim {

// The static parts of the PBX's web application: stylesheet, images drawn
// as SVG in code, and the generated call log.
class CPbxAssets {
public:
    static const std::string& StyleSheet();
    static const std::string& LogoSvg();
    static const std::string& StatusOkSvg();
    static const std::string& PhoneSvg();
    // Table rows of the call log, about 200 KB of HTML, the same every time.
    static const std::string& CallLogRows();
};

}  // namespace sim
