#include <gtest/gtest.h>

#include "base/Exceptions.h"
#include "base/StringList.h"
#include "base/SysUtils.h"

using namespace tw;

TEST(Numbers, DecimalDollarAndZeroXHex) {
    EXPECT_EQ(StrToInt("  42 "), 42);
    EXPECT_EQ(StrToInt("-17"), -17);
    EXPECT_EQ(StrToInt("$1FFF"), 0x1FFF);
    EXPECT_EQ(StrToInt("0x1fff"), 0x1FFF);
    EXPECT_EQ(StrToInt("$FFFFFFFF"), -1); // a full 32-bit pattern
    EXPECT_EQ(StrToInt64("$FFFFFFFFFFFFFFFF"), -1);
    EXPECT_EQ(StrToInt64("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
    int v = 0;
    EXPECT_FALSE(TryStrToInt("", v));
    EXPECT_FALSE(TryStrToInt("$", v));
    EXPECT_FALSE(TryStrToInt("12a", v));
    EXPECT_FALSE(TryStrToInt("$1G", v));
    EXPECT_FALSE(TryStrToInt("4294967296", v));
    int64_t w;
    EXPECT_FALSE(TryStrToInt64("9223372036854775808", w));
    EXPECT_FALSE(TryStrToInt64("$10000000000000000", w));
    EXPECT_THROW(StrToInt("x"), EConvertError);
    EXPECT_EQ(StrToIntDef("x", 7), 7);
}

TEST(Numbers, IntToHexAndRounding) {
    EXPECT_EQ(IntToHex(0x1FF, 4), "01FF");
    EXPECT_EQ(IntToHex(0x12345, 2), "12345");
    EXPECT_EQ(IntToHex(-1, 1), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(IntToHex(0, 8), "00000000");
    EXPECT_EQ(Round(2.5), 2);
    EXPECT_EQ(Round(3.5), 4);
    EXPECT_EQ(Round(-2.5), -2);
    EXPECT_EQ(Round(2.4999), 2);
    EXPECT_EQ(Round(1e12 + 0.5), 1000000000000LL);
}

TEST(FileNames, PartsAndExtensions) {
    EXPECT_EQ(ChangeFileExt("C:\\rec\\film.ts", "_fixed.ts"), "C:\\rec\\film_fixed.ts");
    EXPECT_EQ(ChangeFileExt("C:\\rec.d\\film", ".log"), "C:\\rec.d\\film.log");
    EXPECT_EQ(ChangeFileExt("/a/b.c/d.e.f", ".x"), "/a/b.c/d.e.x");
    EXPECT_EQ(ExtractFileName("C:\\rec\\film.ts"), "film.ts");
    EXPECT_EQ(ExtractFilePath("C:\\rec\\film.ts"), "C:\\rec\\");
    EXPECT_EQ(ExtractFileDir("C:\\rec\\film.ts"), "C:\\rec");
    EXPECT_EQ(ExtractFileExt("C:\\rec.x\\film"), "");
    EXPECT_EQ(ExtractFileExt("film.M2TS"), ".M2TS");
}

TEST(StringList, TextUsesCrLfAndSplitsAnyLineEnd) {
    TStringList l;
    l.SetText("a\r\nb\nc\rd");
    ASSERT_EQ(l.Count(), 4);
    EXPECT_EQ(l.Text(), "a\r\nb\r\nc\r\nd\r\n");
    l.SetText("x\r\n\r\ny\r\n");
    EXPECT_EQ(l.Count(), 3);
    EXPECT_EQ(l[1], "");
    l.SetValues("Key", "1");
    l.SetValues("key", "2");
    EXPECT_EQ(l.Values("KEY"), "2");
}

TEST(StringList, SortedFindsByBinarySearch) {
    TStringList l;
    for (int i = 999; i >= 0; --i) l.Add("item" + std::to_string(i));
    l.SetSorted(true);
    for (int i = 1; i < l.Count(); ++i) EXPECT_LT(LowerCase(l[i - 1]), LowerCase(l[i]));
    int idx;
    EXPECT_TRUE(l.Find("ITEM500", idx));
    EXPECT_EQ(l[idx], "item500");
    EXPECT_FALSE(l.Find("item5000", idx));
    EXPECT_EQ(l[idx], "item501"); // insertion point
    l.Add("item5000");
    EXPECT_EQ(l.IndexOf("item5000"), idx);
    EXPECT_THROW(l.Insert(0, "z"), EListError);
    EXPECT_THROW(l.Delete(l.Count()), EListError);
}
