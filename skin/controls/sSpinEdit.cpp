#include "skin/controls/sSpinEdit.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "skin/windows/acDialogChildren.h"

namespace skin {

TsSpinEdit::TsSpinEdit(tw::TComponent* owner) : TsEditFrame(owner, COC_TsSpinEdit) {}

TsSpinEdit::~TsSpinEdit() { buttons_.reset(); }

void TsSpinEdit::HandleCreated()
{
    TsEditFrame::HandleCreated();
    buttons_.reset();
    // The adapter paints from the skin while it is active and leaves the
    // system's picture otherwise.
    if (upDown_ && IsWindow(upDown_))
        buttons_ = std::make_unique<TacSpinWnd>(upDown_, SkinData.SkinManager(), "SPEEDBUTTON_SMALL");
}

void TsSpinEdit::HandleDestroying()
{
    buttons_.reset();
    TsEditFrame::HandleDestroying();
}

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
