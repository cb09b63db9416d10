// Choosing a remote CAPI server through the environment.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "capi/CapiInterface.h"
#include "capi/RemoteCapiSetting.h"
#include "tests/support/FakeCapiLibrary.h"

namespace capi::test {
namespace {

using testsupport::FakeCapiLibrary;

struct ParseCase {
    const char* text;
    bool valid;
    const char* driver;
    const char* host;
    int port;
};

const ParseCase kParseCases[] = {
    {"rcapi:127.0.0.1:2662", true, "rcapi", "127.0.0.1", 2662},
    {"fritzbox:fritz.box:5031", true, "fritzbox", "fritz.box", 5031},
    {"rcapi:pbx-1:1", true, "rcapi", "pbx-1", 1},
    {"rcapi:host:65534", true, "rcapi", "host", 65534},
    {"", false, "", "", 0},
    {"rcapi", false, "", "", 0},
    {"rcapi:127.0.0.1", false, "", "", 0},
    {":127.0.0.1:2662", false, "", "", 0},
    {"rcapi::2662", false, "", "", 0},
    {"rcapi:127.0.0.1:", false, "", "", 0},
    {"rcapi:127.0.0.1:0", false, "", "", 0},
    {"rcapi:127.0.0.1:65535", false, "", "", 0},
    {"rcapi:127.0.0.1:99999999999", false, "", "", 0},
    {"rcapi:127.0.0.1:26a2", false, "", "", 0},
    {"rcapi:127.0.0.1:-5", false, "", "", 0},
    {"rcapi:127.0.0.1: 2662", false, "", "", 0},
    {"rc api:127.0.0.1:2662", false, "", "", 0},
    {"rcapi:a:b:2662", false, "", "", 0},
    {"rcapi:bad host:2662", false, "", "", 0},
};

TEST(RemoteCapiSetting, ParsesOrRefuses) {
    for (const ParseCase& test : kParseCases) {
        std::string error;
        const auto setting = CRemoteCapiSetting::Parse(test.text, error);
        ASSERT_EQ(setting.has_value(), test.valid) << test.text;
        if (!test.valid) {
            EXPECT_FALSE(error.empty()) << test.text;
            continue;
        }
        EXPECT_EQ(setting->Driver(), test.driver);
        EXPECT_EQ(setting->Host(), test.host);
        EXPECT_EQ(setting->Port(), test.port);
    }
    const std::string longName(300, 'h');
    std::string error;
    EXPECT_FALSE(CRemoteCapiSetting::Parse("rcapi:" + longName + ":2662", error));
}

class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : m_Name(name) {
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedVariable() { unsetenv(m_Name); }

private:
    const char* m_Name;
};

struct ApplyCase {
    const char* name;
    const char* value;  // null: variable unset
    std::vector<std::string> firstCalls;
    bool complains;
};

const ApplyCase kApplyCases[] = {
    {"ValidSettingGoesInBeforeAnyOtherCall",
     "rcapi:127.0.0.1:2662",
     {"registerDebug", "setDriver", "setHost", "setPort", "installed"},
     false},
    {"UnsetLeavesTheLibrarysOwnConfiguration", nullptr, {"registerDebug", "installed"}, false},
    {"MalformedIsRefusedAndIgnored", "rcapi:127.0.0.1", {"registerDebug", "installed"}, true},
};

class RemoteSettingApplied : public testing::TestWithParam<ApplyCase> {};

TEST_P(RemoteSettingApplied, ReachesTheLibrary) {
    const ApplyCase& test = GetParam();
    ScopedVariable variable(CRemoteCapiSetting::kVariable, test.value);
    ScopedVariable trace("QUORBEL_CAPI_TRACE", nullptr);
    FakeCapiLibrary fake;
    const CapiEntryPoints table = fake.Table();
    testing::internal::CaptureStderr();
    CCapiInterface capi(&table);
    const std::string complaint = testing::internal::GetCapturedStderr();
    capi.CapiInstalled();

    EXPECT_EQ(fake.State().calls, test.firstCalls);
    EXPECT_EQ(complaint.find("QUORBEL_CAPI") != std::string::npos, test.complains) << complaint;
    if (test.value != nullptr && !test.complains) {
        EXPECT_EQ(fake.driver, "rcapi");
        EXPECT_EQ(fake.host, "127.0.0.1");
        EXPECT_EQ(fake.port, 2662);
    }
    // The library's debug output goes nowhere.
    ASSERT_NE(fake.debugPrinter, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Environment, RemoteSettingApplied, testing::ValuesIn(kApplyCases),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace capi::test
