#include "skin/engine/data/sStoredSkins.h"

#include <algorithm>
#include <cstdint>

#include "base/Exceptions.h"

#include "base/SysUtils.h"

namespace skin {

TsStoredSkin::TsStoredSkin(TsStoredSkins* collection) : collection_(collection) {}

namespace {

const std::string kDataProperty = "Data";
constexpr uint8_t kBinaryValue = 10;   // the value kind of binary properties

} // namespace

void TsStoredSkin::WriteData(tw::TStream& to) const
{
    if (Data && Data->Size() > 0) to.WriteBuffer(Data->Memory(), Data->Size());
}

void TsStoredSkin::ReadData(tw::TStream& from, int64_t count)
{
    auto data = std::make_shared<tw::TMemoryStream>();
    data->SetSize(count);
    if (count > 0) from.ReadBuffer(data->Memory(), count);
    data->SetPosition(0);
    Data = std::move(data);
}

void TsStoredSkin::WriteDataProperty(tw::TStream& to) const
{
    const int64_t size = Data ? Data->Size() : 0;
    if (size > INT32_MAX) throw tw::EWriteError("Stored skin data too large");
    const uint8_t head[2] = {uint8_t(kDataProperty.size()), kBinaryValue};
    to.WriteBuffer(&head[0], 1);
    to.WriteBuffer(kDataProperty.data(), int64_t(kDataProperty.size()));
    to.WriteBuffer(&head[1], 1);
    uint8_t count[4];
    for (int i = 0; i < 4; ++i) count[i] = uint8_t(uint32_t(size) >> (8 * i));
    to.WriteBuffer(count, 4);
    WriteData(to);
}

void TsStoredSkin::ReadDataProperty(tw::TStream& from)
{
    uint8_t length = 0;
    from.ReadBuffer(&length, 1);
    std::string name(length, '\0');
    if (length > 0) from.ReadBuffer(name.data(), length);
    uint8_t kind = 0;
    from.ReadBuffer(&kind, 1);
    if (name != kDataProperty || kind != kBinaryValue) throw tw::EReadError("Invalid stored skin data property");
    uint8_t count[4];
    from.ReadBuffer(count, 4);
    const uint32_t size = uint32_t(count[0]) | uint32_t(count[1]) << 8 | uint32_t(count[2]) << 16 | uint32_t(count[3]) << 24;
    // A count beyond what the stream holds is damage, not a size to allocate.
    if (int64_t(size) > from.Size() - from.Position()) throw tw::EReadError("Stored skin data truncated");
    ReadData(from, int64_t(size));
}

int TsStoredSkins::IndexOfSkin(const std::string& name) const
{
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i]->Name() == name) return static_cast<int>(i);
    return -1;
}

TsStoredSkin& TsStoredSkins::Add()
{
    items_.push_back(std::make_unique<TsStoredSkin>(this));
    return *items_.back();
}

TsStoredSkin& TsStoredSkins::Add(const std::string& name, std::shared_ptr<tw::TMemoryStream> data)
{
    TsStoredSkin& skin = Add();
    skin.SetName(name);
    if (data) skin.Data = std::move(data);
    return skin;
}

std::array<TColor, 5> StoredFontColors(const std::string& text)
{
    std::array<TColor, 5> colours{0, -1, -1, -1, -1};
    std::vector<std::string> words;
    size_t i = 0;
    while ((i = text.find_first_not_of(' ', i)) != std::string::npos) {
        const size_t j = std::min(text.find(' ', i), text.size());
        words.push_back(text.substr(i, j - i));
        i = j;
    }
    if (words.size() != colours.size()) return colours;
    for (size_t k = 0; k < colours.size(); ++k) colours[k] = tw::StrToInt(words[k]);
    return colours;
}

} // namespace skin
