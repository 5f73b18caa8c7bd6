#include "skin/controls/sComboBox.h"

namespace skin {

namespace {

// The three-dimensional edge the system combo box paints inside itself.
constexpr int kComboEdge = 2;

} // namespace

bool TsComboBox::SkinnedMessage(tw::TMessage& m)
{
    switch (m.Msg) {
    case WM_PAINT:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case tw::CM_MOUSEENTER:
    case tw::CM_MOUSELEAVE:
    case WM_ENABLE:
        TComboBox::WndProc(m);
        PaintClientFrame(*this, SkinData, kComboEdge);
        return true;
    default:
        return false;
    }
}

} // namespace skin
