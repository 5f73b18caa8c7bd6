// The PNG reader against libpng on the PNG test pictures that setup keeps
// outside the tree (libpng's PngSuite pictures, interlaced forms, and its own
// pictures of every colour type and depth with gamma and tRNS chunks): the
// reader's result must be libpng's samples turned into bitmap pixels the way
// the reader defines it (16-bit samples scaled by 255/65535, narrow greys as
// palette levels, grey alpha dropped, gAMA through the gamma table). Broken
// and mutilated pictures must raise our exceptions, never crash.
// Native only: the Windows build has no libpng for its tests.
#ifndef _WIN32
#include "skin/engine/images/acPNG.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/skin/engine/PngBuilder.h"

namespace skin {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

fs::path SuiteFolder()
{
    const char* env = std::getenv("TW_PNGSUITE");
    return env && *env ? fs::path(env) : fs::path(TW_PNGSUITE_DIR);
}

std::vector<fs::path> PicturesIn(const fs::path& dir)
{
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        if (e.path().extension() == ".png") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

Bytes ReadFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// libpng's view of a file: raw samples, one per byte (or two, big-endian,
// at depth 16), deinterlaced.
struct TReference {
    png_uint_32 Width = 0, Height = 0;
    int Depth = 0, ColorType = 0, Channels = 0;
    std::vector<Bytes> Rows;
    std::vector<png_color> Palette;
    bool HaveTrns = false;
    png_color_16 Trns{};
};

bool ReadWithLibpng(const Bytes& file, TReference& ref)
{
    png_structp png = png_create_read_struct(
        PNG_LIBPNG_VER_STRING, nullptr, [](png_structp p, png_const_charp) { png_longjmp(p, 1); },
        [](png_structp, png_const_charp) {});
    png_infop info = png_create_info_struct(png);
    struct TSource {
        const Bytes* Data;
        size_t Pos;
    } source{&file, 0};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &source, [](png_structp p, png_bytep out, size_t n) {
        auto* s = static_cast<TSource*>(png_get_io_ptr(p));
        if (s->Pos + n > s->Data->size()) png_error(p, "short");
        std::memcpy(out, s->Data->data() + s->Pos, n);
        s->Pos += n;
    });
    png_read_info(png, info);
    int interlace = 0;
    png_get_IHDR(png, info, &ref.Width, &ref.Height, &ref.Depth, &ref.ColorType, &interlace, nullptr, nullptr);
    if (ref.Depth < 8) png_set_packing(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    ref.Channels = png_get_channels(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    ref.Rows.assign(ref.Height, Bytes(rowBytes));
    std::vector<png_bytep> rows;
    for (auto& r : ref.Rows) rows.push_back(r.data());
    png_read_image(png, rows.data());
    png_colorp plte = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &plte, &count)) ref.Palette.assign(plte, plte + count);
    png_color_16p trns = nullptr;
    if (png_get_tRNS(png, info, nullptr, nullptr, &trns) && trns && ref.ColorType != PNG_COLOR_TYPE_PALETTE) {
        ref.HaveTrns = true;
        ref.Trns = *trns;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

// The file gamma of a gAMA chunk before the image data, 0 when none.
uint32_t FileGamma(const Bytes& file)
{
    for (size_t at = 8; at + 12 <= file.size();) {
        const uint32_t length = (uint32_t(file[at]) << 24) | (file[at + 1] << 16) | (file[at + 2] << 8) | file[at + 3];
        const std::string type(file.begin() + long(at + 4), file.begin() + long(at + 8));
        if (type == "IDAT") break;
        if (type == "gAMA" && length >= 4)
            return (uint32_t(file[at + 8]) << 24) | (file[at + 9] << 16) | (file[at + 10] << 8) | file[at + 11];
        at += 12 + size_t(length);
    }
    return 0;
}

struct TExpected {
    bool Gamma = false;
    uint8_t Table[256];
    explicit TExpected(uint32_t fileGamma) : Gamma(fileGamma != 0)
    {
        const float main = float(double(fileGamma) / 100000.0);
        const float exponent = float(1.0 / (double(main > 0 ? main : 1.0f) * double(2.2f)));
        for (int i = 0; i < 256; ++i) Table[i] = uint8_t(std::nearbyint(std::pow(i / 255.0, double(exponent)) * 255));
    }
    uint8_t G(int v) const { return Gamma ? Table[v] : uint8_t(v); }
};

int Sample(const TReference& ref, uint32_t x, uint32_t y, int channel)
{
    const Bytes& row = ref.Rows[y];
    if (ref.Depth == 16) {
        const size_t at = (size_t(x) * ref.Channels + size_t(channel)) * 2;
        return (row[at] << 8) | row[at + 1];
    }
    return row[size_t(x) * ref.Channels + size_t(channel)];
}

int To8(const TReference& ref, int v) { return ref.Depth == 16 ? v * 255 / 65535 : v; }

// A narrow grey sample as the level the reader's palette shows for it.
int GreyLevel(const TReference& ref, int v)
{
    if (ref.Depth == 16) return v * 255 / 65535;
    if (ref.Depth == 8) return v;
    const int targetBits = ref.Depth == 2 ? 4 : ref.Depth;
    const int top = (1 << targetBits) - 1;
    return v * top / ((1 << ref.Depth) - 1) * (255 / top);
}

int ExpectedBitsPerPixel(const TReference& ref)
{
    switch (ref.ColorType) {
    case 2: return 24;
    case 6: return 32;
    case 4: return 8;
    default: return ref.Depth == 2 ? 4 : ref.Depth == 16 ? 8 : ref.Depth;
    }
}

void CompareFile(const Bytes& file)
{
    TReference ref;
    ASSERT_TRUE(ReadWithLibpng(file, ref));
    TPNGGraphic g;
    ASSERT_NO_THROW(g.LoadFromMemory(file.data(), file.size()));
    ASSERT_EQ(uint32_t(g.Width()), ref.Width);
    ASSERT_EQ(uint32_t(g.Height()), ref.Height);
    ASSERT_EQ(g.BitsPerPixel(), ExpectedBitsPerPixel(ref));
    const TExpected e(FileGamma(file));
    const TPixelImage image = g.Image();
    const TPixelView& v = image.View();
    const int step = v.BytesPerPixel();
    int mismatches = 0;
    for (uint32_t y = 0; y < ref.Height && mismatches < 5; ++y) {
        for (uint32_t x = 0; x < ref.Width && mismatches < 5; ++x) {
            int want[4] = {0, 0, 0, 255};
            switch (ref.ColorType) {
            case 0:
            case 4: want[0] = want[1] = want[2] = e.G(GreyLevel(ref, Sample(ref, x, y, 0))); break;
            case 3: {
                const int i = Sample(ref, x, y, 0);
                png_color c = size_t(i) < ref.Palette.size() ? ref.Palette[size_t(i)] : png_color{0, 0, 0};
                want[0] = e.G(c.red);
                want[1] = e.G(c.green);
                want[2] = e.G(c.blue);
                break;
            }
            default:
                for (int c = 0; c < 3; ++c) want[c] = e.G(To8(ref, Sample(ref, x, y, c)));
                if (ref.ColorType == 6) want[3] = To8(ref, Sample(ref, x, y, 3));
            }
            const uint8_t* p = v.Pixel(int(x), int(y));
            const int got[4] = {p[2], p[1], p[0], step == 4 ? p[3] : 255};
            for (int c = 0; c < 4; ++c) {
                if (got[c] != want[c]) {
                    ADD_FAILURE() << "pixel " << x << "," << y << " channel " << c << ": " << got[c] << " instead of "
                                  << want[c];
                    ++mismatches;
                    break;
                }
            }
        }
    }
    EXPECT_EQ(g.Transparent(), ref.HaveTrns);
    if (ref.HaveTrns) {
        TColor want;
        if (ref.ColorType == 0) {
            const int level = e.G(GreyLevel(ref, ref.Trns.gray));
            want = level | (level << 8) | (level << 16);
        } else {
            want = e.G(To8(ref, ref.Trns.red)) | (e.G(To8(ref, ref.Trns.green)) << 8) |
                   (e.G(To8(ref, ref.Trns.blue)) << 16);
        }
        EXPECT_EQ(g.TransparentColor(), want);
    }
}

void ComparePicture(const fs::path& path)
{
    SCOPED_TRACE(path.string());
    CompareFile(ReadFile(path));
}

// The same picture with its image data cut anew into chunks of 1 to 7
// bytes, one after the other as encoders write them (some write chunks of a
// few bytes); every other chunk stays where it was.
Bytes WithImageDataInSmallChunks(const Bytes& file)
{
    Bytes data, out(file.begin(), file.begin() + 8);
    for (size_t at = 8; at + 12 <= file.size();) {
        const uint32_t length = (uint32_t(file[at]) << 24) | (file[at + 1] << 16) | (file[at + 2] << 8) | file[at + 3];
        if (at + 12 + length > file.size()) break;
        const std::string type(file.begin() + long(at + 4), file.begin() + long(at + 8));
        if (type == "IDAT") {
            test::Append(data, file.data() + at + 8, length);
        } else {
            for (size_t k = 0, n = 1; k < data.size(); k += n, n = n % 7 + 1)
                test::Append(out, test::Chunk("IDAT", Bytes(data.begin() + long(k),
                                                            data.begin() + long(std::min(data.size(), k + n)))));
            data.clear();
            test::Append(out, file.data() + at, 12 + size_t(length));
        }
        at += 12 + size_t(length);
    }
    return out;
}

// Loads and expects either a picture or one of our exceptions.
bool LoadsOrRaises(const Bytes& data)
{
    TPNGGraphic g;
    try {
        g.LoadFromMemory(data.data(), data.size());
        return true;
    } catch (const tw::Exception&) {
        return false;
    }
}

class PngSuite : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = SuiteFolder();
        if (!fs::is_directory(folder_))
            GTEST_SKIP() << "PNG test pictures missing in " << folder_.string()
                         << " (scripts/setup keeps them there; TW_PNGSUITE names another folder)";
    }
    fs::path folder_;
};

TEST_F(PngSuite, AgreesWithLibpngOnEveryValidPicture)
{
    std::vector<fs::path> files = PicturesIn(folder_);
    const std::vector<fs::path> more = PicturesIn(folder_ / "testpngs");
    files.insert(files.end(), more.begin(), more.end());
    ASSERT_GE(files.size(), 100u);
    int withGamma = 0;
    for (const fs::path& f : files) {
        ComparePicture(f);
        withGamma += FileGamma(ReadFile(f)) != 0;
    }
    EXPECT_GE(withGamma, 30);
}

TEST_F(PngSuite, ImageDataInManySmallChunksReadsAsInOne)
{
    std::vector<fs::path> files = PicturesIn(folder_);
    const std::vector<fs::path> more = PicturesIn(folder_ / "testpngs");
    files.insert(files.end(), more.begin(), more.end());
    ASSERT_GE(files.size(), 100u);
    for (const fs::path& f : files) {
        SCOPED_TRACE(f.string());
        const Bytes cut = WithImageDataInSmallChunks(ReadFile(f));
        ASSERT_GT(cut.size(), ReadFile(f).size());
        CompareFile(cut);
    }
}

TEST_F(PngSuite, BrokenPicturesRaiseAndNeverCrash)
{
    int broken = 0;
    for (const fs::path& f : PicturesIn(folder_ / "crashers")) {
        SCOPED_TRACE(f.string());
        // The one picture there that is whole: empty ancillary chunks only.
        const bool valid = f.filename() == "empty_ancillary_chunks.png";
        EXPECT_EQ(LoadsOrRaises(ReadFile(f)), valid);
        broken += !valid;
    }
    EXPECT_GE(broken, 20);
}

// Every valid picture cut short at many places, and with bytes of each chunk
// changed (CRC made right again so the damage reaches the chunk's reader).
TEST_F(PngSuite, MutilatedPicturesRaiseOrLoadButNeverCrash)
{
    std::vector<fs::path> files = PicturesIn(folder_);
    const std::vector<fs::path> more = PicturesIn(folder_ / "testpngs");
    files.insert(files.end(), more.begin(), more.end());
    for (const fs::path& f : files) {
        SCOPED_TRACE(f.string());
        const Bytes data = ReadFile(f);
        for (int k = 1; k < 12; ++k) {
            Bytes cut(data.begin(), data.begin() + long(data.size() * size_t(k) / 12));
            EXPECT_FALSE(LoadsOrRaises(cut));
        }
        uint32_t seed = 12345;
        for (size_t at = 8; at + 12 <= data.size();) {
            const uint32_t length = (uint32_t(data[at]) << 24) | (data[at + 1] << 16) | (data[at + 2] << 8) | data[at + 3];
            if (at + 12 + length > data.size()) break;
            for (int round = 0; round < 4 && length > 0; ++round) {
                Bytes bad = data;
                seed = seed * 1103515245u + 12345u;
                const size_t pos = at + 8 + (seed >> 8) % length;
                bad[pos] = uint8_t(bad[pos] ^ (1u << (seed % 8)) ^ (round == 3 ? 0xFF : 0));
                test::Put32(bad.data() + at + 8 + length, uint32_t(crc32(0, bad.data() + at + 4, uInt(4 + length))));
                LoadsOrRaises(bad);
            }
            at += 12 + length;
        }
    }
}

TEST(PngSuiteCases, BrokenHeadersLikeThePngSuiteOnesRaise)
{
    const Bytes good = test::Png(test::Ihdr(2, 2, 8, 0), {0, 1, 2, 0, 3, 4});
    ASSERT_TRUE(LoadsOrRaises(good));
    // Signature damage of every kind: a byte changed, CR-LF conversions.
    for (size_t i = 0; i < 8; ++i) {
        Bytes bad = good;
        bad[i] ^= 0x40;
        EXPECT_FALSE(LoadsOrRaises(bad)) << i;
    }
    Bytes crlf = good;
    crlf.insert(crlf.begin() + 4, 0x0D);
    EXPECT_FALSE(LoadsOrRaises(crlf));
    // Colour types 1 and 9, depths 0, 3 and 99, bad IHDR CRC, bad IDAT CRC.
    for (auto [depth, type] : {std::pair{8, 1}, {8, 9}, {0, 2}, {3, 2}, {99, 2}})
        EXPECT_FALSE(LoadsOrRaises(test::Png(test::Ihdr(1, 1, uint8_t(depth), uint8_t(type)), {0, 0, 0, 0})));
    Bytes ihdrCrc = good;
    ihdrCrc[8 + 8 + 12] ^= 1;
    EXPECT_FALSE(LoadsOrRaises(ihdrCrc));
    Bytes idatCrc = good;
    idatCrc[33 + 8] ^= 1;
    EXPECT_FALSE(LoadsOrRaises(idatCrc));
}

} // namespace
} // namespace skin
#endif
