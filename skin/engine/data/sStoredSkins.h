#pragma once
// Skins kept inside the program rather than in a file: a stored skin holds
// either a whole packed archive ("Data") or the skin already taken apart
// into its sections, pictures and textures, which the option readers then
// copy instead of reading an "Options.dat" text.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Streams.h"
#include "base/PixelView.h"
#include "skin/engine/data/sMaskData.h"

namespace skin {

class TsStoredSkin;
class TsStoredSkins;
class TsSkinManager;

// One picture of a stored skin. With a Name it is a picture of its own
// (Image); without one it is the rectangle Left..Bottom of the master bitmap.
struct TsSkinImage {
    std::string SectionName;
    TPixelImage Image;
    std::string Name;
    std::string PropertyName;
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int ImageCount = 0;
    int MaskType = 0;
    int BorderWidth = 0;
    int StretchMode = 0;
    TacImgType ImgType = itisaBorder;
    int WL = 0, WR = 0, WT = 0, WB = 0;
};

// One section of a stored skin. FontColor and HotFontColor are texts of five
// numbers separated by blanks: the text colour, then the left, top, right
// and bottom contour colours.
struct TsSkinGeneral {
    std::string SectionName;
    std::string ParentClass;
    TColor Color = 0;
    bool ReservedBoolean = false;
    std::string FontColor;
    std::string HotFontColor;
    int Transparency = 0;
    int GlowCount = 0;
    int GlowMargin = 0;
    int GradientPercent = 0;
    std::string GradientData;
    int ImagePercent = 0;
    bool ShowFocus = false;
    bool FadingEnabled = false;
    int FadingIterations = 0;
    TColor HotColor = 0;
    int HotTransparency = 0;
    int HotGradientPercent = 0;
    std::string HotGradientData;
    int HotImagePercent = 0;
    std::string Name;
    bool GiveOwnFont = false;
};

// One texture of a stored skin (a decoded JPEG, 24 bits).
struct TsSkinPattern {
    std::string SectionName;
    TPixelImage Image;
    std::string Name;
    std::string PropertyName;
};

// The items of one kind of a stored skin, by index, with the skin they
// belong to.
template <typename Item>
class TsStoredCollection {
public:
    explicit TsStoredCollection(TsStoredSkin* owner) : owner_(owner) {}
    TsStoredSkin* Owner() const { return owner_; }
    int Count() const { return static_cast<int>(items_.size()); }
    Item& Items(int index) { return items_.at(static_cast<size_t>(index)); }
    const Item& Items(int index) const { return items_.at(static_cast<size_t>(index)); }
    Item& Add()
    {
        items_.emplace_back();
        return items_.back();
    }
    void Clear() { items_.clear(); }
    // Takes copies of the other collection's items (pictures included).
    void Assign(const TsStoredCollection& other)
    {
        if (&other != this) items_ = other.items_;
    }
    typename std::vector<Item>::const_iterator begin() const { return items_.begin(); }
    typename std::vector<Item>::const_iterator end() const { return items_.end(); }

private:
    TsStoredSkin* owner_;
    std::vector<Item> items_;
};
using TsSkinImages = TsStoredCollection<TsSkinImage>;
using TsSkinGenerals = TsStoredCollection<TsSkinGeneral>;
using TsSkinPatterns = TsStoredCollection<TsSkinPattern>;

class TsStoredSkin {
public:
    explicit TsStoredSkin(TsStoredSkins* collection = nullptr);
    TsStoredSkin(const TsStoredSkin&) = delete;
    TsStoredSkin& operator=(const TsStoredSkin&) = delete;

    TsStoredSkins* Collection() const { return collection_; }
    const std::string& Name() const { return name_; }
    void SetName(const std::string& value)
    {
        if (value != name_) name_ = value;
    }

    TsSkinGenerals GeneralData{this};
    TsSkinImages Images{this};
    TsSkinPatterns Patterns{this};
    TPixelImage MasterBitmap;
    TColor Shadow1Color = 0;
    int Shadow1Offset = 0;
    int Shadow1Blur = -1;
    int Shadow1Transparency = 0;
    TColor BorderColor = 0xFF00FF;
    double Version = 0.0;
    std::string Author;
    std::string Description;
    // A whole packed skin; empty when the skin is held by the collections.
    std::shared_ptr<tw::TMemoryStream> Data = std::make_shared<tw::TMemoryStream>();

    // The collections copy what they are given.
    void SetGeneralData(const TsSkinGenerals& value) { GeneralData.Assign(value); }
    void SetImages(const TsSkinImages& value) { Images.Assign(value); }
    void SetPatterns(const TsSkinPatterns& value) { Patterns.Assign(value); }
    // True when the skin holds a packed archive.
    bool HasPackedData() const { return Data && Data->Size() > 0; }

    // "Data" is not a published property: a layout stream carries it as a
    // binary property of its own, always written, an empty stream too.
    // WriteDataProperty puts the name, the binary-value kind, the byte count
    // (32 bits, little-endian) and the bytes at the stream's position;
    // ReadDataProperty takes one such property back and raises EReadError
    // for another name or kind or a count beyond the stream.
    void WriteDataProperty(tw::TStream& to) const;
    void ReadDataProperty(tw::TStream& from);
    // The property's reader and writer: the bytes alone. ReadData replaces
    // Data by count bytes from the stream's position.
    void WriteData(tw::TStream& to) const;
    void ReadData(tw::TStream& from, int64_t count);

private:
    TsStoredSkins* collection_;
    std::string name_;
};

// The skins kept in a manager (its InternalSkins).
class TsStoredSkins {
public:
    explicit TsStoredSkins(TsSkinManager* owner = nullptr) : owner_(owner) {}
    TsSkinManager* Owner() const { return owner_; }
    int Count() const { return static_cast<int>(items_.size()); }
    TsStoredSkin& Items(int index) { return *items_.at(static_cast<size_t>(index)); }
    const TsStoredSkin& Items(int index) const { return *items_.at(static_cast<size_t>(index)); }
    // Exact, case-sensitive; -1 when absent.
    int IndexOfSkin(const std::string& name) const;
    TsStoredSkin& Add();
    TsStoredSkin& Add(const std::string& name, std::shared_ptr<tw::TMemoryStream> data);
    void Delete(int index) { items_.erase(items_.begin() + index); }
    void Clear() { items_.clear(); }

private:
    TsSkinManager* owner_;
    std::vector<std::unique_ptr<TsStoredSkin>> items_;
};

// The five colours of a stored FontColor text: exactly five numbers, else
// the defaults (text black, no contours). A word that is not a number raises
// EConvertError.
std::array<TColor, 5> StoredFontColors(const std::string& text);

} // namespace skin
