#include "skin/engine/data/SkinOptions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "base/Exceptions.h"
#include "base/Streams.h"
#include "base/SysUtils.h"
#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/data/SkinIni.h"
#include "skin/engine/data/acSkinPack.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/images/SkinPictures.h"
#include "skin/engine/data/sStoredSkins.h"

namespace skin {

namespace {

const char* const kGlobal = "GLOBALINFO";
constexpr int kPatternMinPixels = 90000;   // smaller JPEG textures are drawn as masks

bool Contains(const std::string& s, const char* what) { return s.find(what) != std::string::npos; }

// Fixed fields and the words of the "!" and "#" forms: decimal or "$" hex.
int StrictInt(const std::string& s)
{
    return tw::StrToInt(s);
}

std::vector<std::string> Words(const std::string& s, const std::string& separators)
{
    std::vector<std::string> words;
    size_t i = 0;
    while (true) {
        i = s.find_first_not_of(separators, i);
        if (i == std::string::npos) break;
        size_t j = s.find_first_of(separators, i);
        if (j == std::string::npos) j = s.size();
        words.push_back(s.substr(i, j - i));
        i = j;
    }
    return words;
}

// Characters from..to (1-based, inclusive) of a fixed-form value. A value
// too short for its form has no number there: a conversion error.
int Field(const std::string& v, size_t from, size_t to)
{
    return StrictInt(from > v.size() ? std::string() : v.substr(from - 1, to - from + 1));
}

// Word i of the "!" form; one that is missing is no number either.
int WordNumber(const std::vector<std::string>& words, size_t i)
{
    return StrictInt(i < words.size() ? words[i] : std::string());
}

// A skin may give any number in its percentages; beyond 0..100 every
// painter treats them alike (nothing or all of a share), but the painters
// weigh them by up to 256, which would overflow near the 32-bit limit.
constexpr int kPercentLimit = 10000;
int BoundedPercent(int value) { return std::clamp(value, -kPercentLimit, kPercentLimit); }

// A glow's margin is taken twice from the size of its picture: kept within a
// picture's side, that never overflows.
int BoundedMargin(int value) { return std::clamp(value, -kMaxPictureSide, kMaxPictureSide); }

// A fade shows one frame every 10 ms, each a step of a blend weighed in 256
// parts: beyond 255 steps no frame differs from the one before, and a skin's
// count of 1,000,000,000 would keep a hovered control painting for months.
// A negative count fades nothing, as 0 does.
constexpr int kMaxFadingIterations = 255;
int BoundedFading(int value) { return std::clamp(value, 0, kMaxFadingIterations); }

// A form's frame as a skin gives it. Skins draw borders of a few pixels and
// titles of a few tens; a window's placement, its maximized size and its
// caption buttons are worked out from these, so a border of -20 or a title
// of 5000 would put the buttons off the window or the window off its
// screen. Each is clamped to what a frame can be where it is read.
constexpr int kMaxBorderWidth = 32;
constexpr int kMaxTitleHeight = 100;
// Moves of the title's contents up or down: within a title.
constexpr int kMaxCenterOffset = 32;
// The extended border's picture lies this far outside the form at most.
constexpr int kMaxFormOffset = 64;
// Gaps beside and between the caption buttons and before the title icon:
// a negative one moves them onto the frame or off the window, and a
// minimized title (160 pixels) must still hold the icon and three buttons
// with every gap at its largest.
constexpr int kMaxButtonGap = 8;
constexpr int kMaxButtonInset = 16;

// Border piece widths when the value gives none: the border width, else a
// third of a frame. ImageCount 0 and MaskType -1 count as one frame and no
// mask half, so a broken value never divides by zero.
void PieceWidthRule(TsMaskData& m)
{
    if (m.WL + m.WT + m.WR + m.WB != 0) return;
    if (m.BorderWidth != 0) {
        m.WL = m.WT = m.WR = m.WB = m.BorderWidth;
        return;
    }
    const int frames = std::max<int>(m.ImageCount, 1) * 3;
    const int bands = (std::max<int>(m.MaskType, 0) + 1) * 3;
    m.WL = m.WR = int16_t(m.R.Width() / frames);
    m.WT = m.WB = int16_t(m.R.Height() / bands);
}

// Frame counts, mask types and border widths as a skin gives them. A
// negative one names no layout of frames (a mask type of -1 would make frame
// heights divide by zero), and one beyond 16 bits would wrap into a negative
// one: negative values read as none given, large ones stop at the 16-bit
// limit.
int16_t BoundedCount(int value) { return int16_t(std::clamp(value, 0, int(INT16_MAX))); }

// A rectangle of a picture as far as it lies in the picture: the painters
// walk what a mask's rectangle names, so a skin's rectangle of 200,000,000
// rows would cost seconds and hundreds of megabytes per paint.
TRect ClipToPicture(const TRect& r, const TPixelImage* picture)
{
    const int w = picture ? picture->Width() : 0, h = picture ? picture->Height() : 0;
    return {std::clamp(r.Left, 0, w), std::clamp(r.Top, 0, h), std::clamp(r.Right, 0, w), std::clamp(r.Bottom, 0, h)};
}

std::string FileExt(const std::string& name)
{
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : tw::UpperCase(name.substr(dot));
}

std::unique_ptr<TPixelImage> DecodePicture(TsSkinManager& sm, const std::string& name, const uint8_t* data, size_t size,
                                           int64_t packedSize = -1)
{
    const std::string ext = FileExt(name);
    sm.PictureInReading = name;
    std::unique_ptr<TPixelImage> img;
    if (ext == ".PNG") img = LoadPngPicture(data, size, packedSize);
    else if (ext == ".JPG" || ext == ".JPEG") img = LoadJpegPicture(data, size, &sm.SkinJpegScanPixels, packedSize);
    else img = LoadBmpPicture(data, size);
    sm.PictureInReading.clear();
    return img;
}

// A picture of the skin by name: the packed entry (name compared as given
// against the upper-cased entry names) or the folder's file. Nothing when
// there is no such picture or it is empty.
// True for a plain name below the skin's folder: no drive or stream colon,
// no leading separator, no ".." step.
bool PictureNameStaysInFolder(const std::string& name)
{
    if (name.empty() || name.find(':') != std::string::npos || name[0] == '\\' || name[0] == '/') return false;
    size_t from = 0;
    while (from <= name.size()) {
        const size_t to = name.find_first_of("\\/", from);
        const std::string step = name.substr(from, to == std::string::npos ? std::string::npos : to - from);
        if (step == "..") return false;
        if (to == std::string::npos) break;
        from = to + 1;
    }
    return true;
}

std::unique_ptr<TPixelImage> FindPicture(TsSkinManager& sm, const std::string& name, bool folderOnly = false)
{
    // A skin that has used up its room gets no further picture, not even a
    // decoded one dropped afterwards: each would cost its decoding again.
    if (sm.SkinPicturePixels >= kMaxSkinPixels || sm.SkinPictureRows >= kMaxSkinPictureRows) return nullptr;
    std::unique_ptr<TPixelImage> img;
    if (sm.SkinIsPacked && !folderOnly) {
        TsPackedEntry entry;
        if (!sm.FindPackedEntry || !sm.FindPackedEntry(name, entry)) return nullptr;
        // The same room for the bytes decoded from the archive: a picture of
        // one pixel that carries megabytes of other chunks, named again and
        // again, would otherwise be read through whole for every name.
        if (int64_t(entry.Size) > kMaxPackedSkinBytes - sm.SkinFileBytes) {
            sm.SkinFileBytes = kMaxPackedSkinBytes;
            return nullptr;
        }
        sm.SkinFileBytes += int64_t(entry.Size);
        img = DecodePicture(sm, name, entry.Data, entry.Size, entry.PackedSize);
    } else {
        // A skin is anyone's file: its pictures lie in its own folder. A name
        // that leads elsewhere (a drive, a share, a climb out of the folder)
        // is no picture of this skin, and no picture is read at any size.
        if (!PictureNameStaysInFolder(name)) return nullptr;
        const std::string path = sm.SkinPath + name;
        if (!tw::FileExists(path)) return nullptr;
        tw::TFileStream f(path, tw::fmOpenRead | tw::fmShareDenyWrite);
        // A folder skin reads no more than a packed one may hold: a small
        // picture at the head of a large file, named again and again, would
        // otherwise be read whole each time.
        if (f.Size() > kMaxPackedSkinBytes - sm.SkinFileBytes) {
            sm.SkinFileBytes = kMaxPackedSkinBytes;
            return nullptr;
        }
        sm.SkinFileBytes += f.Size();
        std::vector<uint8_t> bytes(static_cast<size_t>(f.Size()));
        if (!bytes.empty()) f.ReadBuffer(bytes.data(), bytes.size());
        img = DecodePicture(sm, name, bytes.data(), bytes.size());
    }
    if (!img || img->Width() < 1) return nullptr;
    sm.SkinPictureRows += img->Height();
    if (sm.SkinPictureRows > kMaxSkinPictureRows) return nullptr;
    const int64_t pixels = int64_t(img->Width()) * img->Height();
    if (pixels > kMaxSkinPixels - sm.SkinPicturePixels) {
        sm.SkinPicturePixels = kMaxSkinPixels;
        return nullptr;
    }
    sm.SkinPicturePixels += pixels;
    return img;
}

// A rectangle with its right left of its left or its bottom above its top
// names no piece of a picture: the painters would compute frames of negative
// size from it and look for the mask half above the picture.
bool InsideOut(const TRect& r) { return r.Right < r.Left || r.Bottom < r.Top; }

TsMaskData NewMask(TsSkinManager& sm, const std::string& section, const std::string& key)
{
    TsMaskData m;
    m.SectionName = section;
    m.PropertyName = key;
    m.Manager = &sm;
    return m;
}

bool ReadFixedForm(TsSkinManager& sm, const std::string& section, const std::string& key, const std::string& v)
{
    TsMaskData m = NewMask(sm, section, key);
    switch (v[0]) {
    case '@':
        m.ImgType = itisaGlyph;
        m.ImageCount = int16_t(Field(v, 22, 22));
        m.MaskType = int16_t(Field(v, 24, 24));
        break;
    case '^':
        m.ImgType = itisaBorder;
        m.WL = BoundedCount(Field(v, 22, 25));
        m.WT = BoundedCount(Field(v, 27, 30));
        m.WR = BoundedCount(Field(v, 32, 35));
        m.WB = BoundedCount(Field(v, 37, 40));
        m.ImageCount = int16_t(Field(v, 42, 42));
        m.MaskType = int16_t(Field(v, 44, 44));
        m.StretchMode = int16_t(Field(v, 46, 46));
        m.BorderWidth = int16_t(Field(v, 48, 48));
        break;
    case '~':
        m.ImgType = itisaTexture;
        m.ImageCount = 1;
        m.StretchMode = int16_t(Field(v, 22, 23));
        m.MaskType = v.size() > 24 ? int16_t(Field(v, 25, 25)) : 0;
        break;
    default:
        return false;
    }
    m.R = {Field(v, 2, 5), Field(v, 7, 10), Field(v, 12, 15), Field(v, 17, 20)};
    if (InsideOut(m.R)) return false;
    m.R = ClipToPicture(m.R, sm.MasterBitmap.get());
    if (v[0] == '^') PieceWidthRule(m);
    sm.ma.push_back(std::move(m));
    return true;
}

void ReadFileForm(TsSkinManager& sm, const std::string& section, const std::string& key, const std::string& v)
{
    const std::vector<std::string> w = Words(v, "!");
    if (w.empty() || !(Contains(w[0], ".BMP") || Contains(w[0], ".PNG"))) return;
    TsMaskData m = NewMask(sm, section, key);
    m.ImageCount = BoundedCount(WordNumber(w, 1));
    m.MaskType = BoundedCount(WordNumber(w, 2));
    // Types beyond the known ones are the last; negative ones a border.
    const int type = WordNumber(w, 3);
    // Piece widths, when given, are all four; negative ones are none.
    int16_t widths[4] = {};
    if (w.size() > 4)
        for (size_t i = 0; i < 4; ++i) widths[i] = BoundedCount(WordNumber(w, 4 + i));
    m.ImgType = TacImgType(std::clamp(type, 0, int(itisaPngGlyph)));
    m.StretchMode = 4;
    std::unique_ptr<TPixelImage> img = FindPicture(sm, w[0]);
    if (!img) return;
    if (Contains(w[0], ".BMP")) {
        if (m.ImgType != itisaTexture) SetPictureFormat(img, 24);
    } else if (img->BitsPerPixel() == 32) {
        ClearTransparentWhite(img->View());
        m.AlphaChannel = true;
    }
    m.R = {0, 0, img->Width(), img->Height()};
    m.Bmp = std::move(img);
    if (w.size() > 4) {
        m.WL = widths[0];
        m.WT = widths[1];
        m.WR = widths[2];
        m.WB = widths[3];
    } else {
        m.WL = m.WR = int16_t(m.R.Width() / (std::max<int>(m.ImageCount, 1) * 3));
        m.WT = m.WB = int16_t(m.R.Height() / ((std::max<int>(m.MaskType, 0) + 1) * 3));
    }
    sm.ma.push_back(std::move(m));
}

void ReadRectForm(TsSkinManager& sm, const std::string& section, const std::string& key, const std::string& v)
{
    const std::vector<std::string> w = Words(v, " ()");
    const std::vector<std::string> r = Words(w.size() > 1 ? w[1] : std::string(), " ,");
    const std::vector<std::string> f = Words(w.size() > 2 ? w[2] : std::string(), " ,");
    auto at = [](const std::vector<std::string>& list, size_t i) {
        if (i >= list.size()) throw tw::EConvertError("'' is not a valid integer value");
        return StrictInt(list[i]);
    };
    TsMaskData m = NewMask(sm, tw::UpperCase(section), tw::UpperCase(key));
    m.ImgType = itisaBorder;
    m.R = {at(r, 0), at(r, 1), at(r, 2), at(r, 3)};
    if (InsideOut(m.R)) return;
    m.R = ClipToPicture(m.R, sm.MasterBitmap.get());
    m.ImageCount = std::max<int16_t>(BoundedCount(at(f, 0)), 1);
    m.MaskType = BoundedCount(at(f, 1));
    m.BorderWidth = f.size() > 2 ? BoundedCount(at(f, 2)) : 0;
    m.StretchMode = int16_t(f.size() > 3 ? at(f, 3) : 1);
    PieceWidthRule(m);
    sm.ma.push_back(std::move(m));
}

void ReadBitmapForm(TsSkinManager& sm, const std::string& section, const std::string& key, const std::string& value,
                    bool folderOnly)
{
    std::unique_ptr<TPixelImage> img = FindPicture(sm, tw::UpperCase(value), folderOnly);
    if (!img) return;
    SetPictureFormat(img, 24);
    TsMaskData m = NewMask(sm, tw::UpperCase(section), tw::UpperCase(key));
    m.ImgType = itisaBorder;
    m.ImageCount = 3;
    m.MaskType = 1;
    m.R = {0, 0, img->Width(), img->Height()};
    m.WL = m.WR = int16_t(img->Width() / 9);
    m.WT = m.WB = int16_t(img->Height() / 6);
    m.Bmp = std::move(img);
    sm.ma.push_back(std::move(m));
}

void ReadMaskValue(TsSkinManager& sm, const std::string& section, const std::string& key, const std::string& v)
{
    if (v.empty()) return;
    if (v[0] == '@' || v[0] == '^' || v[0] == '~') {
        ReadFixedForm(sm, section, key, v);
    } else if (v[0] == '!') {
        ReadFileForm(sm, section, key, v);
    } else if (Contains(v, "#") && v != "#") {
        ReadRectForm(sm, section, key, v);
    } else if (Contains(tw::UpperCase(v), ".BMP")) {
        ReadBitmapForm(sm, section, key, v, false);
    }
}

bool IsJpegName(const std::string& upper) { return Contains(upper, ".JPG") || Contains(upper, ".JPEG"); }

void ReadTexture(TsSkinManager& sm, const std::string& section, const std::string& key, const std::string& upper,
                 bool folderOnly)
{
    std::unique_ptr<TPixelImage> img = FindPicture(sm, upper, folderOnly);
    if (!img) return;
    SetPictureFormat(img, 24);
    if (!folderOnly && int64_t(img->Width()) * img->Height() < kPatternMinPixels) {
        TsMaskData m = NewMask(sm, tw::UpperCase(section), tw::UpperCase(key));
        m.ImgType = itisaTexture;
        m.ImageCount = 1;
        m.R = {0, 0, img->Width(), img->Height()};
        m.Bmp = std::move(img);
        sm.ma.push_back(std::move(m));
        return;
    }
    TsPatternData p;
    p.Img = std::move(img);
    p.SectionName = tw::UpperCase(section);
    p.PropertyName = tw::UpperCase(key);
    sm.pa.push_back(std::move(p));
}

TsIniText CommonIni(const TsSkinManager& sm)
{
    std::string text;
    for (const std::string& line : sm.CommonSections) text += line + "\n";
    return TsIniText(text);
}

// VERSION is written with "." whatever the system's decimal separator.
// Infinity and "not a number" are no version: "inf" would claim a skin
// newer than any program.
double ReadVersion(const std::string& text)
{
    const std::string t = tw::Trim(text);
    double v = 0.0;
    const auto res = std::from_chars(t.data(), t.data() + t.size(), v);
    return res.ec == std::errc() && res.ptr == t.data() + t.size() && std::isfinite(v) ? v : 0.0;
}

// The stored skin the manager's SkinName names, nullptr when there is none.
const TsStoredSkin* StoredSkinOf(const TsSkinManager& sm)
{
    const int index = sm.InternalSkins.IndexOfSkin(sm.SkinName());
    return index < 0 ? nullptr : &sm.InternalSkins.Items(index);
}

std::unique_ptr<TPixelImage> Copy24(const TPixelImage& image)
{
    auto copy = std::make_unique<TPixelImage>(image);
    SetPictureFormat(copy, 24);
    return copy;
}

// The pictures of a skin stored taken apart: named items bring their own
// picture, the others are rectangles of the master bitmap.
void ReadStoredMasks(TsSkinManager& sm, const TsStoredSkin& stored)
{
    sm.MasterBitmap = Copy24(stored.MasterBitmap);
    for (const TsSkinImage& item : stored.Images) {
        TsMaskData m = NewMask(sm, tw::UpperCase(item.SectionName), tw::UpperCase(item.PropertyName));
        if (!item.Name.empty()) {
            // A named item without a picture keeps an empty rectangle rather
            // than a picture of no size for the painters to divide by.
            if (item.Image.Width() > 0 && item.Image.Height() > 0) m.Bmp = Copy24(item.Image);
            m.R = {0, 0, m.Bmp ? m.Bmp->Width() : 0, m.Bmp ? m.Bmp->Height() : 0};
        } else {
            m.R = ClipToPicture({item.Left, item.Top, item.Right, item.Bottom}, sm.MasterBitmap.get());
        }
        m.ImageCount = BoundedCount(item.ImageCount);
        m.MaskType = BoundedCount(item.MaskType);
        if (item.ImageCount == 0) {
            m.ImageCount = 3;
            m.MaskType = 1;
        }
        m.BorderWidth = BoundedCount(item.BorderWidth);
        m.StretchMode = int16_t(item.StretchMode);
        m.ImgType = item.ImgType;
        m.WL = BoundedCount(item.WL);
        m.WT = BoundedCount(item.WT);
        m.WR = BoundedCount(item.WR);
        m.WB = BoundedCount(item.WB);
        PieceWidthRule(m);
            sm.ma.push_back(std::move(m));
    }
}

void ReadExtraMasks(TsSkinManager& sm)
{
    if (sm.CommonSections.empty()) return;
    const TsIniText extra = CommonIni(sm);
    for (const std::string& section : extra.SectionNames()) {
        if (tw::UpperCase(section) == kGlobal) continue;
        for (const std::string& key : extra.SectionKeys(section)) {
            const std::string v = extra.ReadString(section, key, "-");
            // Every skin read so far has a master bitmap, an empty one too:
            // its rectangles then name nothing in it.
            if (sm.MasterBitmap && Contains(v, "#") && v != "#")
                ReadRectForm(sm, section, key, v);
            else if (Contains(tw::UpperCase(v), ".BMP"))
                ReadBitmapForm(sm, section, key, v, true);
        }
    }
}

// Stored textures stay patterns whatever their size; an item without a
// picture shares the last other one of its name that has one.
void ReadStoredPatterns(TsSkinManager& sm, const TsStoredSkin& stored)
{
    const int count = stored.Patterns.Count();
    for (int i = 0; i < count; ++i) {
        const TsSkinPattern& item = stored.Patterns.Items(i);
        const TPixelImage* source = item.Image.Width() > 0 ? &item.Image : nullptr;
        for (int j = count - 1; !source && j >= 0; --j) {
            const TsSkinPattern& other = stored.Patterns.Items(j);
            if (j != i && other.Name == item.Name && other.Image.Width() > 0) source = &other.Image;
        }
        TsPatternData p;
        p.Img = source ? Copy24(*source) : std::make_unique<TPixelImage>();
        p.SectionName = tw::UpperCase(item.SectionName);
        p.PropertyName = tw::UpperCase(item.PropertyName);
        sm.pa.push_back(std::move(p));
    }
}

} // namespace

void ReadSkinMasks(TsSkinManager& sm)
{
    sm.ma.clear();
    sm.ForgetNameIndexes();
    sm.MasterBitmap.reset();
    sm.SkinPicturePixels = 0;
    sm.SkinPictureRows = 0;
    sm.SkinFileBytes = 0;
    sm.SkinJpegScanPixels = 0;
    const TsIniText* ini = sm.SkinIni;
    if (!ini) {
        const TsStoredSkin* stored = StoredSkinOf(sm);
        if (!stored) return;
        ReadStoredMasks(sm, *stored);
        ReadExtraMasks(sm);
        return;
    }
    const std::string masterName = ini->ReadString(kGlobal, "MASTERBITMAP", "");
    sm.MasterBitmap = masterName.empty() ? nullptr : FindPicture(sm, masterName);
    if (!sm.MasterBitmap) sm.MasterBitmap = std::make_unique<TPixelImage>();
    SetPictureFormat(sm.MasterBitmap, 24);

    for (const std::string& section : ini->SectionNames())
        for (const std::string& key : ini->SectionKeys(section)) {
            if (tw::SameText(section, kGlobal) && tw::SameText(key, "MASTERBITMAP")) continue;
            ReadMaskValue(sm, section, key, ini->ReadString(section, key, ""));
        }

    ReadExtraMasks(sm);
}

void ReadSkinPatterns(TsSkinManager& sm)
{
    sm.pa.clear();
    sm.ForgetNameIndexes();
    const TsIniText* ini = sm.SkinIni;
    if (ini) {
        for (const std::string& section : ini->SectionNames())
            for (const std::string& key : ini->SectionKeys(section)) {
                const std::string upper = tw::UpperCase(ini->ReadString(section, key, "-"));
                if (IsJpegName(upper)) ReadTexture(sm, section, key, upper, false);
            }
    } else {
        const TsStoredSkin* stored = StoredSkinOf(sm);
        if (!stored) return;
        ReadStoredPatterns(sm, *stored);
    }
    if (sm.CommonSections.empty()) return;
    const TsIniText extra = CommonIni(sm);
    for (const std::string& section : extra.SectionNames())
        for (const std::string& key : extra.SectionKeys(section)) {
            const std::string upper = tw::UpperCase(extra.ReadString(section, key, "-"));
            if (IsJpegName(upper)) ReadTexture(sm, section, key, upper, true);
        }
}

namespace {

void ReadGlobalInfo(TsSkinManager& sm, const TsIniText& ini)
{
    TsSkinData& d = sm.SkinData;
    auto i16 = [&](const char* key, int def) { return int16_t(ini.ReadInteger(kGlobal, key, def)); };
    auto strict = [&](const char* key, const char* def) { return int16_t(StrictInt(ini.ReadString(kGlobal, key, def))); };
    d.Version = ReadVersion(ini.ReadString(kGlobal, "VERSION", "0"));
    d.Author = ini.ReadString(kGlobal, "AUTHOR", "");
    d.Description = ini.ReadString(kGlobal, "DESCRIPTION", "");
    auto bounded = [&](const char* key, int def, int low, int high) {
        return int16_t(std::clamp(ini.ReadInteger(kGlobal, key, def), low, high));
    };
    // 0 leaves the system's border and title; a negative one is none given.
    d.BorderWidth = bounded("BORDERWIDTH", 4, 0, kMaxBorderWidth);
    d.TitleHeight = bounded("TITLEHEIGHT", 30, 0, kMaxTitleHeight);
    d.MaxHeight = bounded("MAXHEIGHT", 0, 0, kMaxTitleHeight);
    if (d.MaxHeight == 0) d.MaxHeight = d.TitleHeight;
    d.FormOffset = bounded("FORMOFFSET", 8, 0, kMaxFormOffset);
    d.CenterOffset = bounded("CENTEROFFSET", 0, -kMaxCenterOffset, kMaxCenterOffset);
    d.BorderMode = i16("BORDERMODE", 0);
    d.Shadow1Color = ini.ReadInteger(kGlobal, "SHADOW1COLOR", 0);
    d.Shadow1Offset = strict("SHADOW1OFFSET", "0");
    d.Shadow1Blur = strict("SHADOW1BLUR", "-1");
    d.Shadow1Transparency = strict("SHADOW1TRANSPARENCY", "0");
    d.BISpace = bounded("BISPACE", 0, 0, kMaxButtonGap);
    d.BIVAlign = i16("BIVALIGN", 0);
    d.BIRight = bounded("BIRIGHT", 0, 0, kMaxButtonInset);
    d.BILeft = bounded("BILEFT", 0, 0, kMaxButtonInset);
    d.BorderColor = ini.ReadInteger(kGlobal, "BORDERCOLOR", 0);
    d.BIKeepHue = i16("BIKEEPHUE", 0);
    d.BICloseGlow = strict("BICONCLOSEGLOW", "0");
    // Taken from the halo picture's size like a section's GLOWMARGIN.
    auto margin = [&](const char* key) { return int16_t(BoundedMargin(StrictInt(ini.ReadString(kGlobal, key, "0")))); };
    d.BICloseGlowMargin = margin("BICONCLOSEGLOWMARGIN");
    d.BIMaxGlow = strict("BICONMAXGLOW", "0");
    d.BIMaxGlowMargin = margin("BICONMAXGLOWMARGIN");
    d.BIMinGlow = strict("BICONMINGLOW", "0");
    d.BIMinGlowMargin = margin("BICONMINGLOWMARGIN");
}

bool IsTrue(const std::string& s) { return tw::UpperCase(s) == "TRUE"; }

// Gradients already met in this load, by their text: sections inherit their
// parent's gradient by the thousand, and all of them share one copy of its
// text and one parse of it.
struct TGradient {
    TsSharedText Text;
    TsGradArray Steps;
};
using TGradientCache = std::unordered_map<std::string_view, TGradient>;

void SetGradient(const std::string& text, TsSharedText& shared, TsGradArray& steps, TGradientCache& cache)
{
    auto at = cache.find(text);
    if (at == cache.end()) {
        TGradient g{TsSharedText(text), {}};
        if (text != " ") PrepareGradArray(text, g.Steps);
        // The key views the shared text itself, which stays where it is.
        const std::string_view key = g.Text.str();
        at = cache.emplace(key, std::move(g)).first;
    }
    shared = at->second.Text;
    steps = at->second.Steps;
}

TsGeneralData ReadSection(const TsSkinManager& sm, const std::string& s, TGradientCache& gradients)
{
    TsGeneralData g;
    const TsIniText& ini = *sm.SkinIni;
    auto num = [&](const char* key, int def) { return sm.ReadInheritedInteger(s, key, def); };
    auto flag = [&](const char* key) { return IsTrue(sm.ReadInheritedString(s, key, "FALSE")); };
    g.Name = s;
    g.ParentClass = ini.ReadString(s, "PARENTCLASS", "");
    g.Color = ColorToRGB(num("COLOR", 0xFFFFFF));
    g.ReservedBoolean = flag("RESERVEDBOOLEAN");
    g.GiveOwnFont = flag("GIVEOWNFONT");
    g.GlowCount = num("GLOW", 0);
    g.GlowMargin = BoundedMargin(num("GLOWMARGIN", 0));
    const char* font[5] = {"FONTCOLOR", "TCLEFT", "TCTOP", "TCRIGHT", "TCBOTTOM"};
    const char* hotFont[5] = {"HOTFONTCOLOR", "HOTTCLEFT", "HOTTCTOP", "HOTTCRIGHT", "HOTTCBOTTOM"};
    for (int i = 0; i < 5; ++i) {
        g.FontColor[size_t(i)] = num(font[i], i == 0 ? 0 : -1);
        g.HotFontColor[size_t(i)] = num(hotFont[i], i == 0 ? 0 : -1);
    }
    g.Transparency = BoundedPercent(num("TRANSPARENCY", 0));
    g.GradientPercent = BoundedPercent(num("GRADIENTPERCENT", 0));
    g.ImagePercent = BoundedPercent(num("IMAGEPERCENT", 0));
    SetGradient(sm.ReadInheritedString(s, "GRADIENTDATA", " "), g.GradientData, g.GradientArray, gradients);
    g.ShowFocus = flag("SHOWFOCUS");
    g.FadingEnabled = flag("FADINGENABLED");
    g.FadingIterations = BoundedFading(num("FADINGITERATIONS", 5));
    g.HotColor = num("HOTCOLOR", 0xFFFFFF);
    g.HotTransparency = BoundedPercent(num("HOTTRANSPARENCY", 0));
    g.HotGradientPercent = BoundedPercent(num("HOTGRADIENTPERCENT", 0));
    SetGradient(sm.ReadInheritedString(s, "HOTGRADIENTDATA", ""), g.HotGradientData, g.HotGradientArray, gradients);
    g.HotImagePercent = BoundedPercent(num("HOTIMAGEPERCENT", 0));
    return g;
}

// A section the program supplies and the skin lacks: missing keys come from
// its parent record, else the defaults.
TsGeneralData ReadExtraSection(const TsSkinManager& sm, const TIniSections& extra, const std::string& s,
                               TGradientCache& gradients)
{
    TsGeneralData g;
    g.Name = s;
    const std::string parentText = ReadSectionValue(extra, s, "PARENTCLASS", "?");
    g.ParentClass = parentText == "?" ? "-1" : tw::UpperCase(parentText);
    const TsGeneralData* parent = nullptr;
    for (const TsGeneralData& r : sm.gd)
        if (tw::UpperCase(r.Name) == g.ParentClass) {
            parent = &r;
            break;
        }
    const TsGeneralData base = parent ? *parent : TsGeneralData();
    auto num = [&](const char* key, int32_t inherited, int missing = -1) {
        const int v = ReadSectionInteger(extra, s, key, missing);
        return v == -1 ? inherited : v;
    };
    auto text = [&](const char* key, const std::string& inherited) {
        const std::string v = ReadSectionValue(extra, s, key, "?");
        return v == "?" ? inherited : v;
    };
    auto flag = [&](const char* key, bool inherited) {
        const std::string v = ReadSectionValue(extra, s, key, "?");
        return v == "?" ? inherited : IsTrue(v);
    };
    g.Color = num("COLOR", base.Color);
    g.ReservedBoolean = flag("RESERVEDBOOLEAN", base.ReservedBoolean);
    g.GiveOwnFont = flag("GIVEOWNFONT", base.GiveOwnFont);
    g.GlowCount = num("GLOW", base.GlowCount, 0);
    g.GlowMargin = BoundedMargin(num("GLOWMARGIN", base.GlowMargin, 0));
    const char* font[5] = {"FONTCOLOR", "TCLEFT", "TCTOP", "TCRIGHT", "TCBOTTOM"};
    const char* hotFont[5] = {"HOTFONTCOLOR", "HOTTCLEFT", "HOTTCTOP", "HOTTCRIGHT", "HOTTCBOTTOM"};
    for (size_t i = 0; i < 5; ++i) {
        g.FontColor[i] = num(font[i], base.FontColor[i]);
        g.HotFontColor[i] = num(hotFont[i], base.HotFontColor[i]);
    }
    g.Transparency = BoundedPercent(num("TRANSPARENCY", base.Transparency));
    g.GradientPercent = BoundedPercent(num("GRADIENTPERCENT", base.GradientPercent));
    g.ImagePercent = BoundedPercent(num("IMAGEPERCENT", base.ImagePercent));
    SetGradient(text("GRADIENTDATA", base.GradientData), g.GradientData, g.GradientArray, gradients);
    g.ShowFocus = flag("SHOWFOCUS", base.ShowFocus);
    g.FadingEnabled = flag("FADINGENABLED", base.FadingEnabled);
    g.FadingIterations = BoundedFading(num("FADINGITERATIONS", base.FadingIterations));
    g.HotColor = num("HOTCOLOR", base.HotColor);
    g.HotTransparency = BoundedPercent(num("HOTTRANSPARENCY", base.HotTransparency));
    g.HotGradientPercent = BoundedPercent(num("HOTGRADIENTPERCENT", base.HotGradientPercent));
    SetGradient(text("HOTGRADIENTDATA", base.HotGradientData), g.HotGradientData, g.HotGradientArray, gradients);
    g.HotImagePercent = BoundedPercent(num("HOTIMAGEPERCENT", base.HotImagePercent));
    return g;
}

// Only these constants are stored with a skin; the others keep what the
// previous skin left.
void ReadStoredGlobals(TsSkinManager& sm, const TsStoredSkin& stored)
{
    TsSkinData& d = sm.SkinData;
    d.Version = stored.Version;
    d.Author = stored.Author;
    d.Description = stored.Description;
    d.Shadow1Color = stored.Shadow1Color;
    d.Shadow1Offset = int16_t(stored.Shadow1Offset);
    d.Shadow1Blur = int16_t(stored.Shadow1Blur);
    d.Shadow1Transparency = int16_t(stored.Shadow1Transparency);
    d.BorderColor = stored.BorderColor;
}

TsGeneralData StoredSection(const TsSkinGeneral& item)
{
    TsGeneralData g;
    g.Name = item.SectionName;
    g.ParentClass = item.ParentClass;
    g.Color = item.Color;
    g.ReservedBoolean = item.ReservedBoolean;
    g.GiveOwnFont = item.GiveOwnFont;
    g.GlowCount = item.GlowCount;
    g.GlowMargin = BoundedMargin(item.GlowMargin);
    g.Transparency = BoundedPercent(item.Transparency);
    g.GradientPercent = BoundedPercent(item.GradientPercent);
    g.ImagePercent = BoundedPercent(item.ImagePercent);
    g.GradientData = item.GradientData;
    PrepareGradArray(g.GradientData, g.GradientArray);
    g.ShowFocus = item.ShowFocus;
    g.FadingEnabled = item.FadingEnabled;
    g.FadingIterations = BoundedFading(item.FadingIterations);
    g.HotColor = item.HotColor;
    g.HotTransparency = BoundedPercent(item.HotTransparency);
    g.HotGradientPercent = BoundedPercent(item.HotGradientPercent);
    g.HotGradientData = item.HotGradientData;
    PrepareGradArray(g.HotGradientData, g.HotGradientArray);
    g.HotImagePercent = BoundedPercent(item.HotImagePercent);
    g.FontColor = StoredFontColors(item.FontColor);
    g.HotFontColor = StoredFontColors(item.HotFontColor);
    return g;
}

} // namespace

void ReadSkinGeneralData(TsSkinManager& sm)
{
    TGradientCache gradients;
    const TsIniText* ini = sm.SkinIni;
    if (ini) {
        ReadGlobalInfo(sm, *ini);
        sm.CheckSkinVersion();
        sm.gd.clear();
        sm.ForgetNameIndexes();
        for (const std::string& section : ini->SectionNames()) sm.gd.push_back(ReadSection(sm, section, gradients));
    } else {
        const TsStoredSkin* stored = StoredSkinOf(sm);
        if (!stored) return;
        ReadStoredGlobals(sm, *stored);
        sm.CheckSkinVersion();
        sm.gd.clear();
        sm.ForgetNameIndexes();
        for (const TsSkinGeneral& item : stored->GeneralData) sm.gd.push_back(StoredSection(item));
    }

    if (!sm.CommonSections.empty()) {
        TIniSections extra;
        ParseIniSections(sm.CommonSections, extra);
        for (const TIniSection& section : extra) {
            const bool known =
                std::any_of(sm.gd.begin(), sm.gd.end(), [&](const TsGeneralData& g) { return g.Name == section.Name; });
            if (!known) sm.gd.push_back(ReadExtraSection(sm, extra, section.Name, gradients));
        }
    }
    sm.UpdateSectionMaskIndexes();
    sm.ChangeSkinHue(sm.HueOffset);
    sm.ChangeSkinSaturation(sm.Saturation);
}

void LoadSkinTables(TsSkinManager& sm, const std::string* optionsText)
{
    TsSkinManager::TLoadingScope loading(sm);
    if (!optionsText) throw EInvalidSkin("The skin has no \"Options.dat\"");
    const TsIniText ini(*optionsText);
    // A text of more sections or keys than any skin has would take minutes
    // and gigabytes to read section by section through its parents.
    if (ini.Overflowed())
        throw EInvalidSkin("The skin's \"Options.dat\" has too many sections or keys, or too long a line");
    sm.SkinIni = &ini;
    struct TReset {
        TsSkinManager& m;
        ~TReset() { m.SkinIni = nullptr; }
    } reset{sm};
    ReadSkinMasks(sm);
    ReadSkinPatterns(sm);
    ReadSkinGeneralData(sm);
    sm.UpdateCommonIndexes();
}

void LoadPackedSkinTables(TsSkinManager& sm, const TacSkinConvertor& sc)
{
    struct TRestore {
        TsSkinManager& m;
        bool packed;
        std::function<bool(const std::string&, TsPackedEntry&)> find;
        ~TRestore()
        {
            m.SkinIsPacked = packed;
            m.FindPackedEntry = std::move(find);
        }
    } restore{sm, sm.SkinIsPacked, sm.FindPackedEntry};
    sm.SkinIsPacked = true;
    // Entries by their upper-cased names, the first of a name counting: a
    // scan of the archive per picture made a skin of thousands of pictures
    // quadratic to load.
    auto byName = std::make_shared<std::unordered_map<std::string, const TacPackedFile*>>();
    for (const TacPackedFile& f : sc.Files)
        if (f.Data) byName->try_emplace(tw::UpperCase(f.FileName), &f);
    sm.FindPackedEntry = [byName](const std::string& name, TsPackedEntry& entry) {
        const auto at = byName->find(name);
        if (at == byName->end()) return false;
        entry.Data = at->second->Data->Memory();
        entry.Size = static_cast<size_t>(at->second->Data->Size());
        entry.PackedSize = at->second->PackedSize;
        return true;
    };
    if (!sc.Options) {
        LoadSkinTables(sm, nullptr);
        return;
    }
    const std::string text(reinterpret_cast<const char*>(sc.Options->Memory()), static_cast<size_t>(sc.Options->Size()));
    LoadSkinTables(sm, &text);
}

void LoadStoredSkinTables(TsSkinManager& sm)
{
    TsSkinManager::TLoadingScope loading(sm);
    sm.SkinIni = nullptr;
    sm.SkinIsPacked = false;
    ReadSkinMasks(sm);
    ReadSkinPatterns(sm);
    ReadSkinGeneralData(sm);
    sm.UpdateCommonIndexes();
}

} // namespace skin
