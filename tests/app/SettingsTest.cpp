#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "shared/Settings.h"
#include "base/WinText.h"

using namespace tw;

namespace {

const char* const kTestKey = "\\Software\\Orvalin\\TarnwickTest\\Settings";

void RawWriteString(const char* name, const wchar_t* value) {
    HKEY h;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Orvalin\\TarnwickTest\\Settings", 0, nullptr, 0,
                              KEY_WRITE, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(h, Utf8ToWide(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                   static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
}

TEST(SettingsRegistryTest, EachTypeRoundTripsThroughTheRegistry) {
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Orvalin\\TarnwickTest\\Settings");
    EXPECT_FALSE(RegValueExists(kTestKey, "Language"));
    EXPECT_EQ(RegReadString(kTestKey, "Language"), "");
    EXPECT_TRUE(RegWriteBool(kTestKey, "PlaySound", true));
    EXPECT_TRUE(RegWriteString(kTestKey, "Language", "GER"));
    EXPECT_TRUE(RegWriteString(kTestKey, "Title", "Größe ä"));
    EXPECT_TRUE(RegWriteInteger(kTestKey, "Priority", -2));
    const double v = 1.0 / 3.0;
    EXPECT_TRUE(RegWriteFloat(kTestKey, "LastUpdateMessage_Version", v));
    EXPECT_TRUE(RegReadBool(kTestKey, "PlaySound"));
    EXPECT_EQ(RegReadString(kTestKey, "Language"), "GER");
    EXPECT_EQ(RegReadString(kTestKey, "Title"), "Größe ä");
    EXPECT_EQ(RegReadInteger(kTestKey, "Priority"), -2);
    double back = RegReadFloat(kTestKey, "LastUpdateMessage_Version");
    EXPECT_EQ(std::memcmp(&back, &v, sizeof v), 0);

    // Stored as the registry types the program has always used.
    DWORD type = 0, size = 0;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"Software\\Orvalin\\TarnwickTest\\Settings",
                           L"LastUpdateMessage_Version", RRF_RT_ANY, &type, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(size, 8u);
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"Software\\Orvalin\\TarnwickTest\\Settings", L"PlaySound", RRF_RT_ANY,
                           &type, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
}

TEST(SettingsRegistryTest, AValueOfTheWrongTypeReadsAsMissing) {
    RawWriteString("Priority", L"6");
    RawWriteString("UpdateCheck", L"0");
    EXPECT_TRUE(RegValueExists(kTestKey, "Priority"));
    EXPECT_EQ(RegReadInteger(kTestKey, "Priority"), 0);
    EXPECT_FALSE(RegReadBool(kTestKey, "UpdateCheck"));
    EXPECT_EQ(RegReadFloat(kTestKey, "Priority"), 0.0);
    RegWriteInteger(kTestKey, "Language", 7);
    EXPECT_EQ(RegReadString(kTestKey, "Language"), "");
}

TEST(SettingsRegistryTest, SoundsAreCarriedAndFollowPlaySound) {
    for (const char* n : {"DONE", "ERROR", "FILEMERGINGFAILED", "FILEMERGINGSUCCESSFULLYCOMPLETED", "OK", "PROBLEMSFOUND",
                          "STREAMCLEANINGFAILED", "STREAMCLEANINGSUCCESSFULLYCOMPLETED", "WARNING"})
        EXPECT_TRUE(HasWavResource(n)) << n;
    EXPECT_FALSE(HasWavResource("NOSUCHSOUND"));
    EXPECT_FALSE(PlayWavResource("NOSUCHSOUND"));
    bool wasSet = RegValueExists(kSettingsKey, "PlaySound");
    bool was = RegReadBool(kSettingsKey, "PlaySound");
    RegWriteBool(kSettingsKey, "PlaySound", false);
    EXPECT_FALSE(PlayNotificationSound("DONE"));
    if (wasSet) RegWriteBool(kSettingsKey, "PlaySound", was);
    else RegRemoveValue(kSettingsKey, "PlaySound");
}

TEST(SettingsRegistryTest, EventLogTypesAndEntries) {
    EXPECT_EQ(EventLogTypeOf(0), EVENTLOG_ERROR_TYPE);
    EXPECT_EQ(EventLogTypeOf(1), EVENTLOG_WARNING_TYPE);
    EXPECT_EQ(EventLogTypeOf(2), EVENTLOG_INFORMATION_TYPE);
    EXPECT_EQ(EventLogTypeOf(3), EVENTLOG_AUDIT_SUCCESS);
    EXPECT_EQ(EventLogTypeOf(4), EVENTLOG_AUDIT_FAILURE);
    // Writing must simply not fail the caller, whatever the system keeps.
    WriteEventLog(kEventSource, "Settings test entry", eltInformation, 1);
}

} // namespace
