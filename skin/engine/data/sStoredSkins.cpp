#include "skin/engine/data/sStoredSkins.h"

#include <algorithm>

#include "base/SysUtils.h"

namespace skin {

TsStoredSkin::TsStoredSkin(TsStoredSkins* collection) : collection_(collection) {}

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
