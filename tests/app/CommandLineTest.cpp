#include <gtest/gtest.h>

#include "app/CommandLineInfo.h"

namespace {

struct Case {
    const char* name;
    std::vector<std::string> arguments;
    const char* dialNumber;
    bool showHelp;
};

const Case kCases[] = {
    {"nothing", {}, "", false},
    {"dial", {"-d", "0301234"}, "0301234", false},
    {"dial split over parameters", {"-d", "030", "1234"}, "0301234", false},
    {"dial in three parts", {"-d", "0", "301", "234"}, "0301234", false},
    {"dial flag without number", {"-d"}, "", false},
    {"second dial flag empties the number", {"-d", "123", "-d", "456"}, "456", false},
    {"upper-case and slash dial flags", {"/D", "77", "/d", "88"}, "88", false},
    {"rest of a dial flag is ignored", {"-d5551234"}, "", false},
    {"dde flag counts as a dial flag", {"/dde", "42"}, "42", false},
    {"help", {"-?"}, "", true},
    {"help, slash", {"/?"}, "", true},
    {"help, lower h", {"-h"}, "", true},
    {"help, upper H", {"-H"}, "", true},
    {"number after help is ignored", {"-?", "0301234"}, "", true},
    {"help after dial keeps the number", {"-d", "0301234", "-?"}, "0301234", true},
    {"plain parameter without flag is ignored", {"file.txt"}, "", false},
    {"other flags are ignored and keep the state", {"-d", "12", "-x", "34"}, "1234", false},
    {"a lone dash is a flag of no meaning", {"-d", "1", "-", "2"}, "12", false},
};

TEST(CommandLine, EveryRuleOfTheDialAndHelpFlags) {
    for (const Case& c : kCases) {
        app::CQuorbelCommaldLineInfo info;
        std::vector<std::string> arguments{"quorbel"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        info.ParseCommandLine(arguments);
        EXPECT_EQ(info.m_strDialNumber, c.dialNumber) << c.name;
        EXPECT_EQ(info.m_bShowHelp, c.showHelp) << c.name;
    }
}

}  // namespace
