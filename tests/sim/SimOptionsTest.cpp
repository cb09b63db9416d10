#include <gtest/gtest.h>

#include "sim/SimOptions.h"

namespace {

TEST(SimOptions, ParsesValuesAndRefusesBadOnes) {
    struct Case {
        std::vector<std::string> args;
        bool ok;
        std::function<bool(const sim::CSimOptions&)> check;
    };
    const Case cases[] = {
        {{},
         true,
         [](const auto& o) {
             return o.port == 2662 && o.lineRate == 64000 && o.pbxNumber == "0301234";
         }},
        {{"--port", "0"}, true, [](const auto& o) { return o.port == 0; }},
        {{"--port=65535"}, true, [](const auto& o) { return o.port == 65535; }},
        {{"--port", "65536"}, false, nullptr},
        {{"--port", "12x"}, false, nullptr},
        {{"--port"}, false, nullptr},
        {{"--rate", "unlimited"}, true, [](const auto& o) { return o.lineRate == 0u; }},
        {{"--rate", "0"}, false, nullptr},
        {{"--idle-clear", "1.5"}, true, [](const auto& o) { return o.idleClearMs == 1500u; }},
        {{"--idle-clear", "1.2345"}, false, nullptr},
        {{"--connect-conf-info", "0x3301"},
         true,
         [](const auto& o) { return o.connectConfInfo == 0x3301; }},
        {{"--connect-conf-info", "0x1ffff"}, false, nullptr},
        {{"--disconnect-at", "b3-active"},
         true,
         [](const auto& o) { return o.disconnectAt == sim::CallStep::B3Active; }},
        {{"--disconnect-at", "later"}, false, nullptr},
        {{"--malformed-kind", "bad-struct"},
         true,
         [](const auto& o) { return o.malformKind == sim::MalformKind::BadStruct; }},
        {{"--busy-number", "12a"}, false, nullptr},
        {{"--withhold-data-conf=1"}, false, nullptr},
        {{"--fault-block", "0"}, false, nullptr},
        {{"--bogus"}, false, nullptr},
        {{"--help"}, true, [](const auto& o) { return o.help; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        std::string error;
        const auto options = sim::CSimOptions::Parse(c.args, error);
        ASSERT_EQ(options.has_value(), c.ok) << error;
        if (c.ok)
            EXPECT_TRUE(c.check(*options));
        else
            EXPECT_FALSE(error.empty());
    }
}

TEST(SimOptions, HelpListsEveryOption) {
    const std::string help = sim::CSimOptions::HelpText();
    for (const char* option : {"--port",
                               "--pbx-number",
                               "--connected-number",
                               "--dial-delay",
                               "--rate",
                               "--idle-clear",
                               "--busy-number",
                               "--no-answer-number",
                               "--rejected-number",
                               "--changed-number",
                               "--invalid-number",
                               "--unsubscribed-number",
                               "--unknown-number",
                               "--connect-conf-info",
                               "--connect-b3-conf-info",
                               "--data-conf-delay",
                               "--withhold-data-conf",
                               "--disconnect-at",
                               "--disconnect-reason",
                               "--drop-at",
                               "--malformed-at",
                               "--malformed-kind",
                               "--fault-block",
                               "--verbose",
                               "--help"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

}  // namespace
