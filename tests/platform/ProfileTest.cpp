#include <gtest/gtest.h>

#include <QSettings>

#include "platform/Format.h"
#include "platform/Profile.h"

namespace {

using platform::CProfile;

TEST(Profile, ValuesRoundTripUnderTheProgramsSections) {
    CProfile::WriteProfileString("DialParms", "OwnMSN", "12345");
    CProfile::WriteProfileInt("Settings", "Left", 40);
    CProfile::WriteProfileInt("Settings", "Bottom", -7);
    EXPECT_EQ(CProfile::GetProfileString("DialParms", "OwnMSN"), "12345");
    EXPECT_EQ(CProfile::GetProfileInt("Settings", "Left", 0), 40);
    EXPECT_EQ(CProfile::GetProfileInt("Settings", "Bottom", 0), -7);

    // The same file a user finds under ~/.config/Brenwick/Quorbel.conf.
    QSettings settings("Brenwick", "Quorbel");
    EXPECT_TRUE(settings.fileName().endsWith("/Brenwick/Quorbel.conf"));
    EXPECT_EQ(settings.value("DialParms/OwnMSN").toString(), "12345");
}

TEST(Profile, MissingOrBrokenValuesGiveTheDefault) {
    QSettings settings("Brenwick", "Quorbel");
    settings.setValue("Settings/Top", "not a number");
    settings.sync();
    EXPECT_EQ(CProfile::GetProfileInt("Settings", "Top", 0), 0);
    EXPECT_EQ(CProfile::GetProfileInt("Settings", "Nowhere", 3), 3);
    EXPECT_EQ(CProfile::GetProfileString("Nowhere", "Nothing", "x"), "x");
}

TEST(Format, FormatsLikePrintf) {
    EXPECT_EQ(platform::Format("Capi: 0x%04x", 0x34a9u), "Capi: 0x34a9");
    EXPECT_EQ(platform::FormatRuntime("Socket %d ready", 49731), "Socket 49731 ready");
    EXPECT_EQ(platform::Format("%s", ""), "");
}

}  // namespace
