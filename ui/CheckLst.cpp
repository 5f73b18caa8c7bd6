#include "ui/CheckLst.h"

#include <algorithm>

namespace tw {

TCheckListBox::TCheckListBox(TComponent* owner) : TListBox(owner) { itemHeight_ = 17; }

void TCheckListBox::CreateParams(TCreateParams& p) { TListBox::CreateParams(p); }

LPARAM TCheckListBox::ItemData(int i) const {
    if (handle_) {
        LRESULT r = SendMessageW(handle_, LB_GETITEMDATA, static_cast<WPARAM>(i), 0);
        return r == LB_ERR ? 0 : r;
    }
    return i >= 0 && i < static_cast<int>(pendingData_.size()) ? pendingData_[static_cast<size_t>(i)] : 0;
}

void TCheckListBox::SetItemData(int i, LPARAM d) {
    if (i < 0 || i >= items_->Count()) return;
    if (Handle()) {
        SendMessageW(handle_, LB_SETITEMDATA, static_cast<WPARAM>(i), d);
        RECT r;
        SendMessageW(handle_, LB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
        InvalidateRect(handle_, &r, FALSE);
    } else {
        if (pendingData_.size() <= static_cast<size_t>(i)) pendingData_.resize(static_cast<size_t>(i) + 1);
        pendingData_[static_cast<size_t>(i)] = d;
    }
}

bool TCheckListBox::Checked(int i) const { return (ItemData(i) & 1) != 0; }
void TCheckListBox::SetChecked(int i, bool c) { SetItemData(i, (ItemData(i) & ~LPARAM(1)) | (c ? 1 : 0)); }
bool TCheckListBox::ItemEnabled(int i) const { return (ItemData(i) & 2) == 0; }
void TCheckListBox::SetItemEnabled(int i, bool e) { SetItemData(i, (ItemData(i) & ~LPARAM(2)) | (e ? 0 : 2)); }

void TCheckListBox::Toggle(int i) {
    if (i < 0 || i >= items_->Count() || !ItemEnabled(i)) return;
    SetChecked(i, !Checked(i));
    if (OnClickCheck) OnClickCheck(this);
}

void TCheckListBox::DrawItem(int index, const TRect& r, UINT state, HDC dc) {
    RECT rc = r.ToRECT();
    bool sel = state & ODS_SELECTED;
    FillRect(dc, &rc, GetSysColorBrush(COLOR_WINDOW));
    if (index < 0 || index >= items_->Count()) return;
    int box = std::min(13, r.Height() - 2);
    RECT cb{r.Left + 2, r.Top + (r.Height() - box) / 2, r.Left + 2 + box, r.Top + (r.Height() - box) / 2 + box};
    DrawFrameControl(dc, &cb, DFC_BUTTON,
                     DFCS_BUTTONCHECK | (Checked(index) ? DFCS_CHECKED : 0) | (ItemEnabled(index) ? 0 : DFCS_INACTIVE));
    RECT tr = rc;
    tr.left = cb.right + 4;
    if (sel) FillRect(dc, &tr, GetSysColorBrush(COLOR_HIGHLIGHT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(!ItemEnabled(index) ? COLOR_GRAYTEXT : sel ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    std::wstring w;
    {
        std::string s = items_->Get(index);
        int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
        w.resize(static_cast<size_t>(n));
        MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    }
    tr.left += 1;
    DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &tr, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    if (state & ODS_FOCUS) {
        RECT f = r.ToRECT();
        f.left = cb.right + 2;
        DrawFocusRect(dc, &f);
    }
}

void TCheckListBox::WndProc(TMessage& m) {
    if (m.Msg == WM_LBUTTONDOWN || m.Msg == WM_LBUTTONDBLCLK) {
        int x = static_cast<short>(LOWORD(m.LParam));
        TListBox::WndProc(m);
        int i = ItemAtPos(TPoint(x, static_cast<short>(HIWORD(m.LParam))));
        if (i >= 0 && x < 18) Toggle(i);
        return;
    }
    if (m.Msg == WM_CHAR && m.WParam == L' ') {
        Toggle(ItemIndex());
        return;
    }
    if (m.Msg == WM_CREATE) {
        TListBox::WndProc(m);
        return;
    }
    TListBox::WndProc(m);
    if (m.Msg == LB_ADDSTRING || m.Msg == LB_INSERTSTRING) {
        // Items made before the window existed keep their check marks.
        int i = static_cast<int>(m.Result);
        if (i >= 0 && i < static_cast<int>(pendingData_.size()))
            CallWindowProcW(defWndProc_, handle_, LB_SETITEMDATA, static_cast<WPARAM>(i),
                            pendingData_[static_cast<size_t>(i)]);
    }
}

} // namespace tw
