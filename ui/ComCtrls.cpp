#include "ui/ComCtrls.h"

#include <commctrl.h>

#include <algorithm>

#include "base/WinText.h"

namespace tw {

// ---------------------------------------------------------------- TTabSheet

TTabSheet::TTabSheet(TComponent* owner) : TCustomControl(owner) { visible_ = false; }

TTabSheet::~TTabSheet() {
    if (pageControl_) pageControl_->RemovePage(this);
}

void TTabSheet::CreateParams(TCreateParams& p) {
    TCustomControl::CreateParams(p);
    // A sheet paints its whole client, as a panel does: the controls on it
    // are left out of that paint, or a paint of the sheet alone wipes them.
    p.Style |= WS_CLIPCHILDREN;
    p.ExStyle |= WS_EX_CONTROLPARENT;
}

void TTabSheet::SetPageControl(TPageControl* pc) {
    if (pc == pageControl_) return;
    if (pageControl_) pageControl_->RemovePage(this);
    pageControl_ = pc;
    SetParent(pc);
    if (pc) pc->InsertPage(this);
}

int TTabSheet::PageIndex() const {
    if (!pageControl_) return -1;
    auto& v = pageControl_->pages_;
    return static_cast<int>(std::find(v.begin(), v.end(), this) - v.begin());
}

void TTabSheet::SetTabVisible(bool v) {
    tabVisible_ = v;
    if (pageControl_) pageControl_->UpdateTabs();
}

void TTabSheet::TextChanged() {
    if (pageControl_) pageControl_->UpdateTabs();
}

// ---------------------------------------------------------------- TPageControl

TPageControl::TPageControl(TComponent* owner) : TWinControl(owner) {
    width_ = 289;
    height_ = 193;
    tabStop_ = true;
    clickOnMouseUp_ = false;
}

void TPageControl::CreateParams(TCreateParams& p) {
    TWinControl::CreateParams(p);
    p.BaseClassName = WC_TABCONTROLW;
    p.Style |= WS_CLIPCHILDREN;
    p.ExStyle |= WS_EX_CONTROLPARENT;
}

void TPageControl::HandleCreated() {
    UpdateTabs();
    ShowActive();
}

int TPageControl::TabIndexOf(TTabSheet* p) const {
    int i = 0;
    for (TTabSheet* s : pages_) {
        if (s == p) return s->tabVisible_ ? i : -1;
        if (s->tabVisible_) ++i;
    }
    return -1;
}

void TPageControl::UpdateTabs() {
    if (!handle_) return;
    SendMessageW(handle_, TCM_DELETEALLITEMS, 0, 0);
    int i = 0;
    for (TTabSheet* s : pages_) {
        if (!s->tabVisible_) continue;
        std::wstring t = Utf8ToWide(s->Caption());
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = t.data();
        SendMessageW(handle_, TCM_INSERTITEMW, static_cast<WPARAM>(i++), reinterpret_cast<LPARAM>(&item));
    }
    int sel = TabIndexOf(active_);
    SendMessageW(handle_, TCM_SETCURSEL, static_cast<WPARAM>(sel), 0);
    Realign();
}

TRect TPageControl::DisplayRect() const {
    TRect cr = ClientRect();
    if (!handle_) {
        cr.Top += 24;
        cr.Inflate(-4, -4);
        return cr;
    }
    RECT r = cr.ToRECT();
    SendMessageW(handle_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
    return TRect(r);
}

void TPageControl::AlignControls(TRect& rect) {
    TRect d = DisplayRect();
    for (TTabSheet* s : pages_) s->SetBounds(d.Left, d.Top, d.Width(), d.Height());
    TWinControl::AlignControls(rect);
}

void TPageControl::InsertPage(TTabSheet* p) {
    if (std::find(pages_.begin(), pages_.end(), p) != pages_.end()) return;
    pages_.push_back(p);
    UpdateTabs();
    if (!active_) SetActivePage(p);
    Realign();
}

void TPageControl::RemovePage(TTabSheet* p) {
    auto it = std::find(pages_.begin(), pages_.end(), p);
    if (it == pages_.end()) return;
    pages_.erase(it);
    p->pageControl_ = nullptr;
    if (active_ == p) {
        active_ = nullptr;
        for (TTabSheet* s : pages_)
            if (s->tabVisible_) {
                SetActivePage(s);
                break;
            }
    }
    UpdateTabs();
}

void TPageControl::ShowActive() {
    for (TTabSheet* s : pages_) {
        bool show = s == active_;
        if (s->Visible() != show) {
            s->SetVisible(show);
            if (show && s->OnShow) s->OnShow(s);
            if (!show && s->OnHide) s->OnHide(s);
        }
    }
    if (active_) active_->BringToFront();
}

void TPageControl::SetActivePage(TTabSheet* p) {
    if (p && p->pageControl_ != this) return;
    active_ = p;
    if (handle_) SendMessageW(handle_, TCM_SETCURSEL, static_cast<WPARAM>(TabIndexOf(p)), 0);
    ShowActive();
}

bool TPageControl::SelectNextPage(bool forward) {
    std::vector<TTabSheet*> tabs;
    for (TTabSheet* s : pages_)
        if (s->tabVisible_) tabs.push_back(s);
    if (tabs.size() < 2) return false;
    const auto at = std::find(tabs.begin(), tabs.end(), active_);
    const size_t n = tabs.size();
    const size_t i = at == tabs.end() ? (forward ? n - 1 : 0) : static_cast<size_t>(at - tabs.begin());
    TTabSheet* next = tabs[forward ? (i + 1) % n : (i + n - 1) % n];
    bool allow = true;
    if (OnChanging) OnChanging(this, allow);
    if (!allow) return false;
    // The focus must not stay on a control of the page that goes away.
    const HWND focus = GetFocus();
    const bool focusOnOldPage = active_ && active_->HandleAllocated() && focus &&
                                (focus == active_->HandleIfAllocated() || IsChild(active_->HandleIfAllocated(), focus));
    SetActivePage(next);
    if (focusOnOldPage && CanFocus()) SetFocus();
    if (OnChange) OnChange(this);
    return true;
}

int TPageControl::ActivePageIndex() const {
    if (!active_) return -1;
    return static_cast<int>(std::find(pages_.begin(), pages_.end(), active_) - pages_.begin());
}

void TPageControl::SetActivePageIndex(int i) {
    if (i < 0 || i >= PageCount()) {
        SetActivePage(nullptr);
        return;
    }
    SetActivePage(pages_[static_cast<size_t>(i)]);
}

void TPageControl::WndProc(TMessage& m) {
    if (m.Msg == CN_NOTIFY) {
        auto* hdr = reinterpret_cast<NMHDR*>(m.LParam);
        if (hdr->code == TCN_SELCHANGING) {
            bool allow = true;
            if (OnChanging) OnChanging(this, allow);
            m.Result = allow ? FALSE : TRUE;
            return;
        }
        if (hdr->code == TCN_SELCHANGE) {
            int sel = static_cast<int>(SendMessageW(handle_, TCM_GETCURSEL, 0, 0));
            int i = 0;
            for (TTabSheet* s : pages_) {
                if (!s->tabVisible_) continue;
                if (i++ == sel) {
                    active_ = s;
                    break;
                }
            }
            ShowActive();
            if (OnChange) OnChange(this);
            return;
        }
    }
    if (m.Msg == WM_SIZE) {
        TWinControl::WndProc(m);
        Realign();
        return;
    }
    TWinControl::WndProc(m);
}

// ---------------------------------------------------------------- TStatusBar

TStatusBar::TStatusBar(TComponent* owner) : TWinControl(owner) {
    height_ = 19;
    align_ = alBottom;
    clickOnMouseUp_ = false;
}

void TStatusBar::CreateParams(TCreateParams& p) {
    TWinControl::CreateParams(p);
    p.BaseClassName = STATUSCLASSNAMEW;
    p.Style |= CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER;
    if (sizeGrip_) p.Style |= SBARS_SIZEGRIP;
}

void TStatusBar::HandleCreated() { UpdatePanels(); }

TStatusPanel& TStatusBar::AddPanel(const std::string& text, int width) {
    panels_.push_back(TStatusPanel{text, width, taLeftJustify, pbLowered});
    UpdatePanels();
    return panels_.back();
}

void TStatusBar::SetPanelText(int i, const std::string& t) {
    panels_.at(static_cast<size_t>(i)).Text = t;
    if (handle_ && !simplePanel_) {
        std::wstring w = Utf8ToWide(t);
        SendMessageW(handle_, SB_SETTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(w.c_str()));
    }
}

void TStatusBar::SetSimplePanel(bool s) {
    simplePanel_ = s;
    UpdatePanels();
}

void TStatusBar::SetSimpleText(const std::string& t) {
    simpleText_ = t;
    if (handle_ && simplePanel_) {
        std::wstring w = Utf8ToWide(t);
        SendMessageW(handle_, SB_SETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(w.c_str()));
    }
}

void TStatusBar::UpdatePanels() {
    if (!handle_) return;
    SendMessageW(handle_, SB_SIMPLE, simplePanel_ ? TRUE : FALSE, 0);
    if (simplePanel_) {
        SetSimpleText(simpleText_);
        return;
    }
    std::vector<int> rights;
    int x = 0;
    for (size_t i = 0; i < panels_.size(); ++i) {
        x += panels_[i].Width;
        rights.push_back(i + 1 == panels_.size() ? -1 : x);
    }
    if (rights.empty()) rights.push_back(-1);
    SendMessageW(handle_, SB_SETPARTS, rights.size(), reinterpret_cast<LPARAM>(rights.data()));
    for (size_t i = 0; i < panels_.size(); ++i) {
        std::wstring w = Utf8ToWide(panels_[i].Text);
        UINT type = panels_[i].Bevel == pbNone ? SBT_NOBORDERS : panels_[i].Bevel == pbRaised ? SBT_POPOUT : 0;
        SendMessageW(handle_, SB_SETTEXTW, i | type, reinterpret_cast<LPARAM>(w.c_str()));
    }
}

void TStatusBar::WndProc(TMessage& m) { TWinControl::WndProc(m); }

// ---------------------------------------------------------------- TTrackBar

TTrackBar::TTrackBar(TComponent* owner) : TWinControl(owner) {
    width_ = 150;
    height_ = 45;
    tabStop_ = true;
    clickOnMouseUp_ = false;
}

void TTrackBar::CreateParams(TCreateParams& p) {
    TWinControl::CreateParams(p);
    p.BaseClassName = TRACKBAR_CLASSW;
    p.Style |= orientation_ == trHorizontal ? TBS_HORZ : TBS_VERT;
    if (tickStyle_ == tsNone) p.Style |= TBS_NOTICKS;
    if (tickStyle_ == tsAuto) p.Style |= TBS_AUTOTICKS;
}

void TTrackBar::HandleCreated() { Apply(); }

void TTrackBar::Apply() {
    if (!handle_) return;
    SendMessageW(handle_, TBM_SETRANGEMIN, FALSE, min_);
    SendMessageW(handle_, TBM_SETRANGEMAX, FALSE, max_);
    SendMessageW(handle_, TBM_SETTICFREQ, static_cast<WPARAM>(frequency_), 0);
    SendMessageW(handle_, TBM_SETPAGESIZE, 0, pageSize_);
    SendMessageW(handle_, TBM_SETPOS, TRUE, pos_);
}

int TTrackBar::Position() const {
    return handle_ ? static_cast<int>(SendMessageW(handle_, TBM_GETPOS, 0, 0)) : pos_;
}

void TTrackBar::SetPosition(int p) {
    p = std::max(min_, std::min(p, max_));
    bool changed = p != Position();
    pos_ = p;
    if (handle_) SendMessageW(handle_, TBM_SETPOS, TRUE, p);
    if (changed && OnChange) OnChange(this);
}

void TTrackBar::WndProc(TMessage& m) {
    if (m.Msg == CN_HSCROLL || m.Msg == CN_VSCROLL) {
        int p = static_cast<int>(SendMessageW(handle_, TBM_GETPOS, 0, 0));
        if (p != pos_) {
            pos_ = p;
            if (OnChange) OnChange(this);
        }
        return;
    }
    TWinControl::WndProc(m);
}

// ---------------------------------------------------------------- THeaderControl

THeaderControl::THeaderControl(TComponent* owner) : TWinControl(owner) {
    height_ = 17;
    align_ = alTop;
    clickOnMouseUp_ = false;
}

void THeaderControl::CreateParams(TCreateParams& p) {
    TWinControl::CreateParams(p);
    p.BaseClassName = WC_HEADERW;
    p.Style |= HDS_BUTTONS | HDS_HORZ;
}

void THeaderControl::HandleCreated() { UpdateSections(); }

THeaderSection& THeaderControl::AddSection(const std::string& text, int width) {
    sections_.push_back(THeaderSection{text, width, taLeftJustify});
    UpdateSections();
    return sections_.back();
}

void THeaderControl::UpdateSections() {
    if (!handle_) return;
    while (SendMessageW(handle_, HDM_GETITEMCOUNT, 0, 0) > 0) SendMessageW(handle_, HDM_DELETEITEM, 0, 0);
    for (size_t i = 0; i < sections_.size(); ++i) {
        std::wstring t = Utf8ToWide(sections_[i].Text);
        HDITEMW it{};
        it.mask = HDI_TEXT | HDI_WIDTH | HDI_FORMAT;
        it.pszText = t.data();
        it.cxy = sections_[i].Width;
        it.fmt = HDF_STRING | (sections_[i].Alignment == taCenter         ? HDF_CENTER
                               : sections_[i].Alignment == taRightJustify ? HDF_RIGHT
                                                                          : HDF_LEFT);
        SendMessageW(handle_, HDM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&it));
    }
}

void THeaderControl::WndProc(TMessage& m) {
    if (m.Msg == CN_NOTIFY) {
        auto* nm = reinterpret_cast<NMHEADERW*>(m.LParam);
        switch (nm->hdr.code) {
        case HDN_ITEMCLICKW:
        case HDN_ITEMCLICKA:
            if (OnSectionClick) OnSectionClick(this, nm->iItem);
            return;
        case HDN_ENDTRACKW:
        case HDN_ENDTRACKA:
        case HDN_ITEMCHANGEDW:
        case HDN_ITEMCHANGEDA:
            if (nm->pitem && (nm->pitem->mask & HDI_WIDTH) && nm->iItem >= 0 &&
                nm->iItem < static_cast<int>(sections_.size())) {
                sections_[static_cast<size_t>(nm->iItem)].Width = nm->pitem->cxy;
                if (OnSectionResize) OnSectionResize(this, nm->iItem);
            }
            return;
        default: break;
        }
    }
    TWinControl::WndProc(m);
}

// ---------------------------------------------------------------- TUpDown

TUpDown::TUpDown(TComponent* owner) : TWinControl(owner) {
    width_ = 17;
    height_ = 21;
    clickOnMouseUp_ = false;
}

void TUpDown::CreateParams(TCreateParams& p) {
    TWinControl::CreateParams(p);
    p.BaseClassName = UPDOWN_CLASSW;
    p.Style |= UDS_ARROWKEYS;
}

void TUpDown::HandleCreated() { SendMessageW(handle_, UDM_SETRANGE32, static_cast<WPARAM>(-1000000), 1000000); }

void TUpDown::WndProc(TMessage& m) {
    if (m.Msg == CN_NOTIFY) {
        auto* nm = reinterpret_cast<NMUPDOWN*>(m.LParam);
        if (nm->hdr.code == UDN_DELTAPOS) {
            if (OnClick) OnClick(this, nm->iDelta > 0 ? btNext : btPrev);
            m.Result = 1; // keep the position: the owner keeps the value
            return;
        }
    }
    if (m.Msg == CN_VSCROLL || m.Msg == CN_HSCROLL) return;
    TWinControl::WndProc(m);
}

} // namespace tw
