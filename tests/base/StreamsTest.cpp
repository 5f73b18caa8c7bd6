#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "base/Exceptions.h"
#include "base/Streams.h"
#include "base/StringList.h"
#include "base/SysUtils.h"

using namespace tw;

namespace {

std::string TempDir() {
    const char* t = std::getenv("TEMP");
    if (!t) t = std::getenv("TMPDIR");
#ifdef _WIN32
    std::string d = t ? t : "C:\\windows\\temp";
#else
    std::string d = t ? t : "/tmp";
#endif
    d = IncludeTrailingPathDelimiter(d) + "tw_base_test_" + std::to_string(GetTickCount64Ms());
    EXPECT_TRUE(ForceDirectories(d + PathDelim() + "sub"));
    // Gone with everything in it when the tests end, not left in the
    // temporary folder run after run.
    struct TScratch {
        std::vector<std::string> dirs;
        ~TScratch() {
            for (const std::string& dir : dirs) {
                std::error_code ec;
                std::filesystem::remove_all(std::filesystem::path(std::u8string(dir.begin(), dir.end())), ec);
            }
        }
    };
    static TScratch scratch;
    scratch.dirs.push_back(d);
    return IncludeTrailingPathDelimiter(d);
}

} // namespace

TEST(FileStream, PositionsBeyond4GiBInASparseFile) {
    std::string dir = TempDir();
    std::string name = dir + "big.bin";
    const int64_t far = (int64_t(5) << 30) + 123; // 5 GiB + 123
    {
        TFileStream f(name, fmCreate);
        f.SetSize(far + 4);
        EXPECT_EQ(f.Seek(far, soBeginning), far);
        uint32_t v = 0xA1B2C3D4;
        f.WriteBuffer(&v, 4);
        EXPECT_EQ(f.Position(), far + 4);
        EXPECT_EQ(f.Size(), far + 4);
    }
    {
        TFileStream f(name, fmOpenRead);
        EXPECT_EQ(f.Size(), far + 4);
        EXPECT_EQ(f.Seek(-4, soEnd), far);
        uint32_t v = 0;
        f.ReadBuffer(&v, 4);
        EXPECT_EQ(v, 0xA1B2C3D4u);
    }
    EXPECT_EQ(FileSizeOf(name), far + 4);
    EXPECT_TRUE(RemoveFile(name));
}

TEST(FileStream, NamesWithUmlautsRoundTrip) {
    std::string dir = TempDir();
    std::string name = dir + "Aufnahme \xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F \xE2\x82\xAC.ts"; // äöüß €
    {
        TFileStream f(name, fmCreate);
        f.WriteBuffer("GRR", 3);
    }
    EXPECT_TRUE(FileExists(name));
    TStringList l;
    l.Add("Zeile \xC3\xBC");
    l.SaveToFile(name);
    TStringList r;
    r.LoadFromFile(name);
    ASSERT_EQ(r.Count(), 1);
    EXPECT_EQ(r[0], "Zeile \xC3\xBC");
    EXPECT_TRUE(RemoveFile(name));
    EXPECT_FALSE(FileExists(name));
}

TEST(FileStream, ReadingPastTheEndRaisesAndCreateTruncates) {
    std::string name = TempDir() + "short.bin";
    {
        TFileStream f(name, fmCreate);
        f.WriteBuffer("0123456789", 10);
    }
    {
        TFileStream f(name, fmCreate); // an old file is replaced whole
        f.WriteBuffer("ab", 2);
    }
    TFileStream f(name, fmOpenRead);
    EXPECT_EQ(f.Size(), 2);
    char buf[8];
    EXPECT_EQ(f.Read(buf, 8), 2);
    f.SetPosition(1);
    EXPECT_THROW(f.ReadBuffer(buf, 2), EReadError);
    EXPECT_THROW(TFileStream(name + ".missing", fmOpenRead), EFOpenError);
    EXPECT_THROW(TFileStream(TempDir() + "no" + PathDelim() + "such" + PathDelim() + "x", fmCreate), EFCreateError);
}

TEST(FileStream, AShortWriteKeepsThePlatformsReasonAndTheEndOfDataHasNone) {
    std::string name = TempDir() + "reason.bin";
    {
        TFileStream f(name, fmCreate);
        f.WriteBuffer("0123", 4);
        EXPECT_EQ(f.LastErrorText(), "");
    }
    TFileStream f(name, fmOpenRead);
    EXPECT_EQ(f.Write("x", 1), 0);
    const std::string reason = f.LastErrorText();
    EXPECT_FALSE(reason.empty());
    try {
        f.WriteBuffer("x", 1);
        ADD_FAILURE() << "no exception";
    } catch (const EWriteError& e) {
        EXPECT_NE(e.Message().find(reason), std::string::npos) << e.Message();
    }
    // Running out of data is no error: nothing to report, and a read that
    // follows a failed write forgets the old reason.
    char buf[8];
    EXPECT_EQ(f.Read(buf, 8), 4);
    EXPECT_EQ(f.LastErrorText(), "");
    try {
        f.ReadBuffer(buf, 1);
        ADD_FAILURE() << "no exception";
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), "Stream read error");
    }
}

// A replaced file is made new rather than truncated; where the old one cannot
// simply go away (still open elsewhere, a directory of that name) the create
// either still replaces the content or fails with the platform's reason, and
// leaves the directory alone.
TEST(FileStream, CreateReplacesAFileStillOpenAndKeepsTheReasonOfAFailure) {
    const std::string dir = TempDir();
    const std::string name = dir + "replaced.bin";
    {
        TFileStream f(name, fmCreate);
        f.WriteBuffer("old content, longer", 19);
    }
    {
        TFileStream reader(name, fmOpenRead);
        TFileStream f(name, fmCreate);
        f.WriteBuffer("new", 3);
    }
    {
        TFileStream f(name, fmOpenRead);
        char buf[32] = {};
        EXPECT_EQ(f.Read(buf, sizeof buf), 3);
        EXPECT_EQ(std::string(buf, 3), "new");
    }
    const std::string sub = dir + "sub";
    try {
        TFileStream f(sub, fmCreate);
        ADD_FAILURE() << "a directory was opened as a file";
    } catch (const EFCreateError& e) {
        const std::string what = e.what();
        const std::string prefix = "Cannot create file \"" + sub + "\". ";
        ASSERT_EQ(what.compare(0, prefix.size(), prefix), 0) << what;
        EXPECT_GT(what.size(), prefix.size()) << "the platform's reason is missing";
    }
    EXPECT_TRUE(DirectoryExists(sub));
}

TEST(MemoryStream, ReadWriteSeekAndPastEnd) {
    TMemoryStream m;
    m.WriteBuffer("hello", 5);
    m.Seek(10, soBeginning);
    m.WriteBuffer("!", 1); // writing past the end fills the gap with zeros
    EXPECT_EQ(m.Size(), 11);
    EXPECT_EQ(m.Memory()[7], 0);
    m.SetPosition(0);
    char buf[6] = {};
    m.ReadBuffer(buf, 5);
    EXPECT_STREQ(buf, "hello");
    m.SetPosition(9);
    EXPECT_THROW(m.ReadBuffer(buf, 3), EReadError);
    EXPECT_THROW(m.Seek(-1, soBeginning), EStreamError);
}
