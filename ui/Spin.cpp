#include "ui/Spin.h"

#include <commctrl.h>

#include <algorithm>

#include "base/SysUtils.h"

namespace tw {

TSpinEdit::TSpinEdit(TComponent* owner) : TCustomEdit(owner) { text_.assign(1, '0'); }

int TSpinEdit::Clamp(int v) const {
    if (min_ == 0 && max_ == 0) return v;
    return std::max(min_, std::min(v, max_));
}

int TSpinEdit::Value() const {
    std::string t = Text();
    try {
        return Clamp(StrToInt(t));
    } catch (...) {
        return Clamp(min_);
    }
}

void TSpinEdit::SetValue(int v) { SetText(std::to_string(Clamp(v))); }

void TSpinEdit::HandleCreated() {
    TCustomEdit::HandleCreated();
    upDown_ = CreateWindowExW(0, UPDOWN_CLASSW, L"", WS_CHILD | WS_VISIBLE | UDS_ARROWKEYS, 0, 0, 0, 0, handle_,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(upDown_, UDM_SETRANGE32, static_cast<WPARAM>(-1000000000), 1000000000);
    PlaceButtons();
}

void TSpinEdit::BoundsChanged() { PlaceButtons(); }

void TSpinEdit::PlaceButtons() {
    if (!upDown_ || !handle_) return;
    RECT cr;
    GetClientRect(handle_, &cr);
    int w = 15;
    SetWindowPos(upDown_, nullptr, cr.right - w, 0, w, cr.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(handle_, EM_SETMARGINS, EC_RIGHTMARGIN, MAKELPARAM(0, w + 2));
}

void TSpinEdit::WndProc(TMessage& m) {
    if (m.Msg == WM_NOTIFY && upDown_) {
        auto* nm = reinterpret_cast<NMUPDOWN*>(m.LParam);
        if (nm->hdr.hwndFrom == upDown_ && nm->hdr.code == UDN_DELTAPOS) {
            if (!readOnly_) SetValue(Value() + (nm->iDelta > 0 ? increment_ : -increment_));
            m.Result = 1;
            return;
        }
    }
    if (m.Msg == WM_VSCROLL && reinterpret_cast<HWND>(m.LParam) == upDown_) return;
    if (m.Msg == WM_KEYDOWN && (m.WParam == VK_UP || m.WParam == VK_DOWN) && !readOnly_) {
        SetValue(Value() + (m.WParam == VK_UP ? increment_ : -increment_));
        return;
    }
    if (m.Msg == WM_KILLFOCUS) {
        // Leave a valid number behind.
        TCustomEdit::WndProc(m);
        std::string want = std::to_string(Value());
        if (Text() != want) SetText(want);
        return;
    }
    if (m.Msg == WM_SIZE) {
        TCustomEdit::WndProc(m);
        PlaceButtons();
        return;
    }
    TCustomEdit::WndProc(m);
}

} // namespace tw
