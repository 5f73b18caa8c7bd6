#include "analysis/SettingsStore.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

using namespace tw;

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetSettingsBackend(nullptr);
        ClearMemorySettings();
        SetSoundPlayer(nullptr);
    }
    void TearDown() override {
        ClearMemorySettings();
        SetSoundPlayer(nullptr);
    }
};

TEST_F(SettingsStoreTest, EachTypeRoundTripsAndMissingValuesReadNeutral) {
    EXPECT_FALSE(RegValueExists(kSettingsKey, "Language"));
    EXPECT_FALSE(RegReadBool(kSettingsKey, "NoPreview"));
    EXPECT_EQ(RegReadString(kSettingsKey, "Language"), "");
    EXPECT_EQ(RegReadInteger(kSettingsKey, "Priority"), 0);
    EXPECT_EQ(RegReadFloat(kSettingsKey, "LastUpdateMessage_Date"), 0.0);

    EXPECT_TRUE(RegWriteBool(kSettingsKey, "NoPreview", true));
    EXPECT_TRUE(RegWriteString(kSettingsKey, "Language", "GER"));
    EXPECT_TRUE(RegWriteInteger(kSettingsKey, "Priority", -7));
    const double date = 45123.123456789012;
    EXPECT_TRUE(RegWriteFloat(kSettingsKey, "LastUpdateMessage_Date", date));

    EXPECT_TRUE(RegValueExists(kSettingsKey, "NoPreview"));
    EXPECT_TRUE(RegReadBool(kSettingsKey, "NoPreview"));
    EXPECT_EQ(RegReadString(kSettingsKey, "Language"), "GER");
    EXPECT_EQ(RegReadInteger(kSettingsKey, "Priority"), -7);
    double back = RegReadFloat(kSettingsKey, "LastUpdateMessage_Date");
    EXPECT_EQ(std::memcmp(&back, &date, sizeof date), 0) << "bit-identical double";
    EXPECT_TRUE(LanguageIsGerman());

    // Any non-zero number reads as True.
    RegWriteInteger(kSettingsKey, "NoPreview", 5);
    EXPECT_TRUE(RegReadBool(kSettingsKey, "NoPreview"));
    RegWriteBool(kSettingsKey, "NoPreview", false);
    EXPECT_FALSE(RegReadBool(kSettingsKey, "NoPreview"));
    EXPECT_TRUE(RegValueExists(kSettingsKey, "NoPreview"));
    // Another key is another store.
    EXPECT_FALSE(RegValueExists("\\Software\\Other", "NoPreview"));
}

TEST_F(SettingsStoreTest, AValueOfTheWrongTypeReadsAsMissing) {
    RegWriteString(kSettingsKey, "Priority", "5");
    RegWriteInteger(kSettingsKey, "Language", 1);
    RegWriteInteger(kSettingsKey, "LastUpdateMessage_Version", 3);
    EXPECT_EQ(RegReadInteger(kSettingsKey, "Priority"), 0);
    EXPECT_FALSE(RegReadBool(kSettingsKey, "Priority"));
    EXPECT_EQ(RegReadString(kSettingsKey, "Language"), "");
    EXPECT_EQ(RegReadFloat(kSettingsKey, "LastUpdateMessage_Version"), 0.0);
    EXPECT_FALSE(LanguageIsGerman());
    // A Boolean whose default is on keeps its default when stored as text.
    RegWriteString(kSettingsKey, "UpdateCheck", "0");
    EXPECT_TRUE(ReadBoolSetting("UpdateCheck", true));
    EXPECT_EQ(ReadIntSetting("Priority", 3), 3);
    RegWriteInteger(kSettingsKey, "Priority", 0);
    EXPECT_EQ(ReadIntSetting("Priority", 3), 0) << "a stored 0 is a value";
}

TEST_F(SettingsStoreTest, AStoredFloatThatIsNoNumberReadsAsMissing) {
    // An infinite date would keep the update notice away for good.
    for (double bad : {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                       std::numeric_limits<double>::quiet_NaN()}) {
        RegWriteFloat(kSettingsKey, "LastUpdateMessage_Date", bad);
        EXPECT_EQ(RegReadFloat(kSettingsKey, "LastUpdateMessage_Date"), 0.0);
    }
}

TEST_F(SettingsStoreTest, DefaultsAreWrittenOnlyWhereMissingOrUnreadable) {
    RegWriteBool(kSettingsKey, "PlaySound", false);
    RegWriteString(kSettingsKey, "UpdateCheck", "yes");
    WriteDefaultSettings();
    EXPECT_TRUE(RegReadBool(kSettingsKey, "NoTeletext"));
    EXPECT_TRUE(RegReadBool(kSettingsKey, "UpdateCheck"));
    EXPECT_FALSE(RegReadBool(kSettingsKey, "PlaySound")) << "a user's choice is kept";
    EXPECT_FALSE(RegValueExists(kSettingsKey, "NoSubtitles"));
}

TEST_F(SettingsStoreTest, SoundsFollowThePlaySoundSetting) {
    std::vector<std::string> played;
    SetSoundPlayer([&](const std::string& n) {
        played.push_back(n);
        return n != "MISSING";
    });
    EXPECT_TRUE(PlayNotificationSound("DONE")) << "absent setting plays";
    EXPECT_FALSE(PlayNotificationSound("MISSING"));
    RegWriteBool(kSettingsKey, "PlaySound", false);
    EXPECT_FALSE(PlayNotificationSound("ERROR"));
    RegWriteBool(kSettingsKey, "PlaySound", true);
    EXPECT_TRUE(PlayNotificationSound("OK"));
    EXPECT_EQ(played, (std::vector<std::string>{"DONE", "MISSING", "OK"}));

    SetSoundPlayer([](const std::string&) -> bool { throw std::runtime_error("no device"); });
    EXPECT_FALSE(PlayNotificationSound("OK"));
    SetSoundPlayer(nullptr);
    EXPECT_FALSE(PlayNotificationSound("OK"));
}

} // namespace
