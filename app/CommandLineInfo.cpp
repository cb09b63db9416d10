#include "app/CommandLineInfo.h"

namespace app {

void CQuorbelCommaldLineInfo::ParseParam(const char* param, bool bFlag, bool /*bLast*/) {
    if (bFlag) {
        switch (param[0]) {
            case 'D':
            case 'd':
                // Only the first character counts: "-d5551234" dials nothing by itself.
                m_nParamState = 1;
                m_strDialNumber.clear();
                break;
            case '?':
            case 'H':
            case 'h':
                m_nParamState = 2;
                m_bShowHelp = true;
                break;
            default:
                // The framework's own flags (print, register, embedding) mean
                // nothing to this program.
                break;
        }
        return;
    }
    if (m_nParamState == 1) m_strDialNumber += param;
}

void CQuorbelCommaldLineInfo::ParseCommandLine(const std::vector<std::string>& arguments) {
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool bFlag = !argument.empty() && (argument[0] == '-' || argument[0] == '/');
        const char* text = bFlag ? argument.c_str() + 1 : argument.c_str();
        ParseParam(text, bFlag, i + 1 == arguments.size());
    }
}

}  // namespace app
