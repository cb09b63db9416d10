#pragma once

#include <string>
#include <vector>

namespace app {

// The program's command line: a dial flag (-d, /d, -D) collects the plain
// parameters after it into the number to dial; a help flag (-?, /?, -h, -H)
// asks for the help box. Everything else is ignored.
class CQuorbelCommaldLineInfo {
public:
    // One parameter; bFlag is set for a flag, whose leading - or / is removed.
    void ParseParam(const char* param, bool bFlag, bool bLast);

    // Parses every parameter after the program name, in order.
    void ParseCommandLine(const std::vector<std::string>& arguments);

    std::string m_strDialNumber;
    bool m_bShowHelp = false;
    // 0: no flag of ours yet; 1: after a dial flag; 2: after a help flag.
    int m_nParamState = 0;
};

}  // namespace app
