#include "skin/controls/sSpinEdit.h"

#include <algorithm>
#include <charconv>
#include <string>

namespace skin {

int TsSpinEdit::Value() const
{
    const std::string text = Text();
    size_t begin = text.find_first_not_of(' ');
    size_t end = text.find_last_not_of(' ');
    if (begin == std::string::npos) return value_;
    if (text[begin] == '+') ++begin;
    int v = 0;
    const auto [ptr, ec] = std::from_chars(text.data() + begin, text.data() + end + 1, v);
    if (ec != std::errc() || ptr != text.data() + end + 1) return value_;
    return v;
}

void TsSpinEdit::SetValue(int value)
{
    if (MinValue() != MaxValue()) value = std::clamp(value, std::min(MinValue(), MaxValue()), std::max(MinValue(), MaxValue()));
    value_ = value;
    if (!IsLoading()) SetText(std::to_string(value));
}

void TsSpinEdit::Loaded()
{
    TsEditFrame::Loaded();
    SetText(std::to_string(value_));
}

} // namespace skin
