// The packed skin archive: written by our writer, read back, and damaged in
// every field that carries a count, a length or a size.
#include "skin/engine/data/acSkinPack.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>

#include "skin/engine/data/SkinIni.h"
#include "tests/support/TsBuilder.h"
#include "tests/ui/RefusedAllocations.h"

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
    // Cut after its signature, the archive is told to be damaged, as every
    // other damage is, not as a failed read of a stream.
    for (size_t n = 5; n < good.size(); ++n) {
        TacSkinConvertor c;
        try {
            Extract(c, std::vector<uint8_t>(good.begin(), good.begin() + long(n)));
            ADD_FAILURE() << n;
        } catch (const ESkinPackError& e) {
            EXPECT_NE(std::string(e.what()).find("damaged"), std::string::npos) << n << ": " << e.what();
        } catch (const std::exception& e) {
            ADD_FAILURE() << n << ": " << e.what();
        }
    }
}

// An archive written by hand: each entry's name, its stated size and the
// zlib stream given.
struct TRawEntry {
    std::string Name;
    int32_t Size;
    const std::vector<uint8_t>* Stream;
};
std::vector<uint8_t> RawArchive(const std::vector<TRawEntry>& entries)
{
    std::vector<uint8_t> b = {'A', 'S', 'z', 'f'};
    auto put = [&](int32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(uint32_t(v) >> (8 * i)));
    };
    put(int32_t(entries.size()));
    for (const TRawEntry& e : entries) {
        put(int32_t(e.Name.size()));
        b.insert(b.end(), e.Name.begin(), e.Name.end());
        put(e.Size);
        b.insert(b.end(), e.Stream->begin(), e.Stream->end());
    }
    return b;
}

// A zlib stream of `count` bytes, zeros or noise.
std::vector<uint8_t> ZlibStream(size_t count, bool noise)
{
    std::vector<uint8_t> raw(count, 0);
    std::mt19937 random(7);
    if (noise) std::generate(raw.begin(), raw.end(), [&] { return uint8_t(random()); });
    uLongf size = compressBound(uLong(count));
    std::vector<uint8_t> stream(size);
    EXPECT_EQ(compress2(stream.data(), &size, raw.data(), uLong(count), Z_BEST_SPEED), Z_OK);
    stream.resize(size);
    return stream;
}

std::string ExtractError(const std::vector<uint8_t>& bytes)
{
    TacSkinConvertor c;
    try {
        Extract(c, bytes);
    } catch (const ESkinPackError& e) {
        return e.what();
    }
    return "";
}

TEST(SkinPack, AnArchiveThatUnpacksToMoreThanASkinCanUseIsRefused)
{
    // The readers take at most kMaxPackedSkinBytes of pictures and an option
    // text of that size: both, each spread over eight entries, load.
    const int32_t eighth = int32_t(kMaxPackedSkinBytes / 8);
    const std::vector<uint8_t> zeros = ZlibStream(eighth, false), one = ZlibStream(1, false);
    std::vector<TRawEntry> entries;
    for (int i = 0; i < 8; ++i) {
        entries.push_back({"a.bmp", eighth, &zeros});
        entries.push_back({"Options.dat", eighth, &zeros});
    }
    EXPECT_EQ(ExtractError(RawArchive(entries)), "");

    // One byte more of either is past what a skin can use, however small
    // the archive.
    for (const char* name : {"b.png", "OPTIONS.DAT"}) {
        std::vector<TRawEntry> more = entries;
        more.insert(more.begin() + 3, {name, 1, &one});
        const std::vector<uint8_t> archive = RawArchive(more);
        EXPECT_LT(archive.size(), size_t(1) << 20) << name;
        EXPECT_NE(ExtractError(archive).find("too large"), std::string::npos) << name;
    }
}

TEST(SkinPack, AnArchiveOfMoreFilesThanAnOptionTextCanNameIsRefused)
{
    // Each entry costs its record and stream far more than its sixteen
    // bytes: millions of empty ones took seconds and hundreds of megabytes.
    // An option text names at most TsIniText::MaxKeys pictures.
    const std::vector<uint8_t> empty = ZlibStream(0, false);
    std::vector<TRawEntry> entries(TsIniText::MaxKeys, {"a.bmp", 0, &empty});
    entries.push_back({"Options.dat", 0, &empty});
    TacSkinConvertor c;
    Extract(c, RawArchive(entries));
    EXPECT_EQ(c.Files.size(), TsIniText::MaxKeys);
    entries.push_back({"b.bmp", 0, &empty});
    EXPECT_NE(ExtractError(RawArchive(entries)).find("more files than a skin can use"), std::string::npos);
}

TEST(SkinPack, AnEntryTakesMemoryAsItsDataInflatesNotAsItsSizeClaims)
{
    // 64 KiB of noise that claims 48 MiB: the claim lies within what the
    // stream's bytes could inflate to, the data does not back it. No
    // allocation near the claim may happen before the entry is refused.
    const std::vector<uint8_t> noise = ZlibStream(64 << 10, true);
    const std::vector<uint8_t> archive = RawArchive({{"big.bmp", 48 << 20, &noise}});
    std::string error;
    tw::test::RefuseAllocations(1, size_t(16) << 20);
    try {
        error = ExtractError(archive);
    } catch (const std::bad_alloc&) {
        error = "out of memory";
    }
    const int refused = tw::test::RefusedAllocations();
    tw::test::RefuseAllocations(0);
    EXPECT_EQ(refused, 0);
    EXPECT_NE(error.find("smaller than its stated size"), std::string::npos) << error;

    // The same data under its true size reads whole.
    const std::vector<uint8_t> exact = RawArchive({{"big.bmp", 64 << 10, &noise}});
    TacSkinConvertor c;
    Extract(c, exact);
    ASSERT_EQ(c.Files.size(), 1u);
    EXPECT_EQ(c.Files[0].Data->Size(), 64 << 10);
}

} // namespace
} // namespace skin
