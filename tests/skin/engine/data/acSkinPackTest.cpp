// The packed skin archive: written by our writer, read back, and damaged in
// every field that carries a count, a length or a size.
#include "skin/engine/data/acSkinPack.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>

#include "tests/support/TsBuilder.h"

namespace skin {
namespace {

std::string Content(const tw::TMemoryStream& s)
{
    return std::string(reinterpret_cast<const char*>(s.Memory()), size_t(const_cast<tw::TMemoryStream&>(s).Size()));
}

tw::TMemoryStream* Pack(const std::vector<TacPackEntry>& entries)
{
    auto* s = new tw::TMemoryStream;
    WritePackedData(*s, entries);
    return s;
}

// Reads an archive given as bytes; the convertor owns the stream.
void Extract(TacSkinConvertor& c, const std::vector<uint8_t>& bytes)
{
    auto* s = new tw::TMemoryStream;
    s->WriteBuffer(bytes.data(), int64_t(bytes.size()));
    c.SetPackedData(s, true);
    c.ExtractPackedData();
}

std::vector<uint8_t> Bytes(tw::TMemoryStream* s)
{
    std::vector<uint8_t> b(s->Memory(), s->Memory() + s->Size());
    delete s;
    return b;
}

TEST(SkinPack, ReadsWhatWasPackedInArchiveOrder)
{
    const std::string big(100000, 'x');
    TacSkinConvertor c;
    c.SetPackedData(Pack({{"a.bmp", "first"},
                          {"OPTIONS.DAT", "[GLOBAL]\nVersion=1.00\n"},
                          {"Sub.Png", big},
                          {"a.bmp", ""},
                          {"noext", "z"}}),
                    true);
    c.ExtractPackedData();
    ASSERT_TRUE(c.Options);
    EXPECT_EQ(Content(*c.Options), "[GLOBAL]\nVersion=1.00\n");
    EXPECT_EQ(c.ImageCount, 4);
    ASSERT_EQ(c.Files.size(), 4u);
    EXPECT_EQ(c.Files[0].FileName, "a.bmp");
    EXPECT_TRUE(c.Files[0].IsBitmap);
    EXPECT_EQ(Content(*c.Files[0].Data), "first");
    EXPECT_EQ(c.Files[0].Data->Position(), 5);
    EXPECT_FALSE(c.Files[1].IsBitmap);
    EXPECT_EQ(Content(*c.Files[1].Data), big);
    EXPECT_EQ(c.Files[2].FileName, "a.bmp");
    EXPECT_EQ(c.Files[2].Data->Size(), 0);
    EXPECT_EQ(c.Files[3].FileName, "noext");

    // Without an options entry the options stay absent; the count is N - 1.
    TacSkinConvertor none;
    Extract(none, Bytes(Pack({{"x.png", "1"}})));
    EXPECT_FALSE(none.Options);
    EXPECT_EQ(none.ImageCount, 0);
}

TEST(SkinPack, LoadsFilesAndLeavesBorrowedDataAlone)
{
    tw::test::TempFile file(".asz");
    {
        tw::TFileStream out(file.Name(), tw::fmCreate);
        WritePackedData(out, {{"Options.dat", "o"}, {"m.bmp", "BM"}});
    }
    std::unique_ptr<TacSkinConvertor> c;
    LoadPackedFile(file.Name() + ".missing", c, true);
    EXPECT_FALSE(c);
    LoadPackedFile(file.Name(), c, false);
    ASSERT_TRUE(c);
    EXPECT_TRUE(c->PackedData != nullptr);
    EXPECT_EQ(c->Files.size(), 1u);
    LoadPackedFile(file.Name(), c, true); // the existing convertor is emptied and reused
    EXPECT_EQ(c->Files.size(), 1u);
    EXPECT_EQ(c->PackedData, nullptr);

    // A stored skin's stream is borrowed: clearing the convertor keeps it.
    tw::TMemoryStream* stored = Pack({{"Options.dat", "s"}});
    {
        TacSkinConvertor borrowed;
        borrowed.SetPackedData(stored, false);
        borrowed.ExtractPackedData();
        EXPECT_EQ(Content(*borrowed.Options), "s");
    }
    EXPECT_GT(stored->Size(), 8);
    delete stored;

    // A wrong signature raises and drops the convertor.
    tw::test::TempFile wrong(".asz");
    wrong.Write({'A', 'S', 'Z', 'f', 0, 0, 0, 0});
    EXPECT_THROW(LoadPackedFile(wrong.Name(), c, true), ESkinPackError);
    EXPECT_FALSE(c);
}

TEST(SkinPack, AFileFarLargerThanAnySkinIsRefusedUnread)
{
    // A sparse file: large on paper, nothing on the disk. A skin is a few
    // hundred kilobytes; this one is never read into memory.
    tw::test::TempFile huge(".asz");
    huge.Write({'A', 'S', 'z', 'f', 0, 0, 0, 0});
    std::filesystem::resize_file(huge.Name(), uint64_t(kMaxPackedSkinBytes) + 1);
    std::unique_ptr<TacSkinConvertor> c;
    try {
        LoadPackedFile(huge.Name(), c, true);
        ADD_FAILURE() << "a file beyond the limit was read";
    } catch (const ESkinPackError& e) {
        EXPECT_NE(std::string(e.what()).find("too large"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(c);

    // At the limit it is read (and then judged by its contents).
    std::filesystem::resize_file(huge.Name(), uint64_t(kMaxPackedSkinBytes));
    try {
        LoadPackedFile(huge.Name(), c, true);
    } catch (const ESkinPackError& e) {
        EXPECT_EQ(std::string(e.what()).find("too large"), std::string::npos) << e.what();
    }
}

TEST(SkinPack, DamagedCountsLengthsAndSizesRaise)
{
    const std::vector<uint8_t> good = Bytes(Pack({{"Options.dat", "options text"}, {"p.png", "picture"}}));
    auto damaged = [&](size_t at, int32_t value) {
        std::vector<uint8_t> b = good;
        std::memcpy(b.data() + at, &value, 4);
        return b;
    };
    auto raises = [](const std::vector<uint8_t>& b) {
        TacSkinConvertor c;
        try {
            Extract(c, b);
        } catch (const tw::Exception&) {
            return true;
        }
        return false;
    };
    ASSERT_FALSE(raises(good));
    // Entry count: negative, huge, one more than present.
    EXPECT_TRUE(raises(damaged(4, -1)));
    EXPECT_TRUE(raises(damaged(4, 0x7FFFFFFF)));
    EXPECT_TRUE(raises(damaged(4, 3)));
    // Name length (at 8): negative and beyond the data.
    EXPECT_TRUE(raises(damaged(8, -5)));
    EXPECT_TRUE(raises(damaged(8, 0x7FFFFFF0)));
    // Stated size (after the 11-byte name): negative, huge, one more, one less.
    const size_t sizeAt = 8 + 4 + 11;
    EXPECT_TRUE(raises(damaged(sizeAt, -1)));
    EXPECT_TRUE(raises(damaged(sizeAt, 0x7FFFFFFF)));
    EXPECT_TRUE(raises(damaged(sizeAt, 13)));
    EXPECT_TRUE(raises(damaged(sizeAt, 11)));
    // Damaged zlib data, and the archive cut anywhere.
    std::vector<uint8_t> z = good;
    z[sizeAt + 4 + 3] ^= 0x55;
    EXPECT_TRUE(raises(z));
    for (size_t n = 0; n < good.size(); ++n)
        EXPECT_TRUE(raises(std::vector<uint8_t>(good.begin(), good.begin() + long(n)))) << n;
}

} // namespace
} // namespace skin
