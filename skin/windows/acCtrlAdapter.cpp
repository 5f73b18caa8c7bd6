#include "skin/windows/acCtrlAdapter.h"

#include <algorithm>

#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/engine/painting/GraphicsUtils.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/CheckLst.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"
#include "ui/ValEdit.h"

namespace skin {

namespace {

// The control adapters alive now, and the creation hook that tells them of
// windows made after their form was adapted: the class library's controls
// send their parent no creation notice, so a list or memo made on a shown
// form would keep the system's bars until the form is shown again.
std::vector<TacCtrlAdapter*>& LiveAdapters()
{
    static std::vector<TacCtrlAdapter*> adapters;
    return adapters;
}
HHOOK g_createHook = nullptr;
UINT_PTR g_walkTimer = 0;

// Once the window is made (and its control has its handle): every form
// walked again for controls without their adapter.
void CALLBACK WalkAgain(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    g_walkTimer = 0;
    const std::vector<TacCtrlAdapter*> adapters = LiveAdapters();
    for (TacCtrlAdapter* a : adapters) {
        const auto& live = LiveAdapters();
        if (std::find(live.begin(), live.end(), a) == live.end())
            continue;
        try {
            a->AdaptNewControls();
        } catch (...) {
            // That form's new controls keep the system's look; the failure is
            // reported.
            tw::Application->HandleException(nullptr);
        }
    }
}

LRESULT CALLBACK CreationHook(int code, WPARAM wp, LPARAM lp)
{
    if (code == HCBT_CREATEWND && lp && !g_walkTimer && !LiveAdapters().empty()) {
        const CREATESTRUCTW* cs = reinterpret_cast<const CBT_CREATEWNDW*>(lp)->lpcs;
        if (cs && (cs->style & WS_CHILD))
            g_walkTimer = SetTimer(nullptr, 0, 0, WalkAgain);
    }
    return CallNextHookEx(g_createHook, code, wp, lp);
}

} // namespace

TacCtrlAdapter::TacCtrlAdapter(tw::TCustomForm* form, TsSkinManager* manager) : form_(form), manager_(manager)
{
    LiveAdapters().push_back(this);
    if (!g_createHook)
        g_createHook = SetWindowsHookExW(WH_CBT, CreationHook, nullptr, GetCurrentThreadId());
}

void TacCtrlAdapter::AdaptNewControls()
{
    if (form_ && !form_->IsDestroying() && form_->HandleAllocated() && manager_ && manager_->Active())
        AdaptControls();
}

namespace {

// The section a foreign control of a list takes its look from.
const char* SectionOfKind(int kind)
{
    using L = ThirdPartyList;
    switch (kind) {
    case L::ThirdButtons:
    case L::ThirdBitBtns:
        return "BUTTON";
    case L::ThirdCheckBoxes:
        return "CHECKBOX";
    case L::ThirdComboBoxes:
        return "COMBOBOX";
    case L::ThirdGroupBoxes:
        return "GROUPBOX";
    case L::ThirdPanels:
        return "PANEL";
    case L::ThirdPageControl:
        return "PAGECONTROL";
    case L::ThirdTabControl:
        return "TABCONTROL";
    case L::ThirdToolBar:
        return "TOOLBAR";
    case L::ThirdStatusBar:
        return "STATUSBAR";
    case L::ThirdSpeedButton:
        return "SPEEDBUTTON";
    default:
        return "EDIT";
    }
}

// Fields, lists, grids and views: they show the field colours and the
// skin's scroll bars.
bool IsFieldKind(int kind)
{
    using L = ThirdPartyList;
    return kind == L::ThirdEdits || kind == L::ThirdGrids || kind == L::ThirdListViews || kind == L::ThirdTreeViews ||
           kind == L::ThirdWWEdits || kind == L::ThirdGridEh || kind == L::ThirdVirtualTrees;
}

} // namespace

bool FieldColorsOf(const TsSkinManager& manager, TacFieldColors& colors)
{
    const int i = manager.GetSkinIndex("EDIT");
    if (!manager.SkinIndexValid(i))
        return false;
    const TsGeneralData& s = manager.gd[size_t(i)];
    colors.Color = tw::ColorToRGB(s.Color);
    colors.FontColor = tw::ColorToRGB(s.FontColor[0]);
    // A skin without a hot text colour of its own (none, or the field's own
    // colour) lets the plain text stand out instead.
    const TColor hot = s.HotFontColor[0] == -1 ? colors.FontColor : tw::ColorToRGB(s.HotFontColor[0]);
    colors.HotFontColor = hot == colors.Color ? colors.FontColor : hot;
    colors.Highlight = manager.GetHighlightColor();
    colors.HighlightText = manager.GetHighlightFontColor();
    return true;
}

namespace {

// The share of the text colour in a colour mixed from the field's: enough
// to stand apart from the field, little enough for the text to read on it.
constexpr double kFixedRowShare = 0.25;
constexpr double kGridLineShare = 0.15;

// The value list editor's colours from the field's: its title row and lines
// mixed from the field and its text (the skin has no section of its own for
// a grid's title), its selection in the skin's highlight.
tw::TValueListColors GridColorsOf(const TacFieldColors& f)
{
    tw::TValueListColors g;
    g.Field = f.Color;
    g.Text = f.FontColor;
    g.Fixed = BlendColors(f.FontColor, f.Color, kFixedRowShare);
    g.FixedText = f.FontColor;
    g.Lines = BlendColors(f.FontColor, f.Color, kGridLineShare);
    g.Selected = f.Highlight;
    g.SelectedText = f.HighlightText;
    return g;
}

bool TakesFieldColors(const tw::TControl* control)
{
    return dynamic_cast<const IacFieldColors*>(control) || dynamic_cast<const tw::TValueListEditor*>(control);
}

// Hands the field colours (nullptr: none) to a control that paints its
// field itself.
void HandFieldColors(tw::TControl* control, const TacFieldColors* colors)
{
    if (auto* field = dynamic_cast<IacFieldColors*>(control)) {
        field->SkinFieldColors(colors);
    } else if (auto* grid = dynamic_cast<tw::TValueListEditor*>(control)) {
        if (colors) {
            const tw::TValueListColors g = GridColorsOf(*colors);
            grid->SetSkinColors(&g);
        } else {
            grid->SetSkinColors(nullptr);
        }
    }
}

} // namespace

TacCtrlAdapter::~TacCtrlAdapter()
{
    // Self-painting fields show their own colours again.
    for (const TField& f : fields_)
        if (IsWindow(f.Wnd) && f.Owner->HandleIfAllocated() == f.Wnd)
            HandFieldColors(f.Owner, nullptr);
    fields_.clear();
    // Children before the windows they lie on, the latest first; the
    // adapters give the colours back.
    while (!adapters_.empty())
        adapters_.pop_back();
    links_.clear();
    auto& live = LiveAdapters();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
    if (live.empty()) {
        if (g_createHook)
            UnhookWindowsHookEx(g_createHook);
        g_createHook = nullptr;
        if (g_walkTimer)
            KillTimer(nullptr, g_walkTimer);
        g_walkTimer = 0;
    }
}

void TacCtrlAdapter::Sweep()
{
    adapters_.erase(std::remove_if(adapters_.begin(), adapters_.end(),
                                   [](const std::unique_ptr<TacMainWnd>& a) { return !a || a->Unsubclassed(); }),
                    adapters_.end());
    // A link whose window ended (or was made again) goes with it.
    links_.erase(std::remove_if(links_.begin(), links_.end(),
                                [](const TLink& l) { return !IsWindow(l.Wnd) || l.Control->HandleIfAllocated() != l.Wnd; }),
                 links_.end());
    fields_.erase(std::remove_if(fields_.begin(), fields_.end(),
                                 [](const TField& f) { return !IsWindow(f.Wnd) || f.Owner->HandleIfAllocated() != f.Wnd; }),
                  fields_.end());
}

void TacCtrlAdapter::GiveFieldColors(tw::TControl* control)
{
    auto* wc = dynamic_cast<tw::TWinControl*>(control);
    if (!TakesFieldColors(control) || !wc || !manager_ || !manager_->Active() || wc->Tag() == acNoSkinTag)
        return;
    const HWND wnd = wc->HandleIfAllocated();
    if (!wnd)
        return;
    TacFieldColors colors;
    const bool known = std::any_of(fields_.begin(), fields_.end(), [&](const TField& f) { return f.Owner == wc; });
    if (!FieldColorsOf(*manager_, colors)) {
        if (known)
            HandFieldColors(wc, nullptr);
        return;
    }
    HandFieldColors(wc, &colors);
    if (!known)
        fields_.push_back({wc, wnd});
}

int TacCtrlAdapter::ThirdPartyKind(const tw::TControl* control) const
{
    if (!control || !manager_ || !(manager_->SkinningRules & srThirdParty))
        return -1;
    const std::string name = control->ClassName();
    for (int i = 0; i < ThirdPartyList::Count; ++i)
        for (const std::string& n : manager_->ThirdLists[size_t(i)])
            if (!n.empty() && n == name)
                return i;
    return -1;
}

TsCommonData* TacCtrlAdapter::SkinLinkOf(const tw::TControl* control) const
{
    for (const TLink& l : links_)
        if (l.Control == control)
            return l.Data.get();
    return nullptr;
}

void TacCtrlAdapter::GiveSkinLink(tw::TWinControl* control, int kind)
{
    if (SkinLinkOf(control))
        return;
    auto data = std::make_unique<TsCommonData>(control, false);
    data->SetSkinManager(manager_);
    data->SetSkinSection(SectionOfKind(kind));
    data->UpdateIndexes();
    // The field colours while skinned; the adapter gives the control's own
    // back when it goes. Grids keep theirs: they paint their fixed cells and
    // the selection in the system's colours, which the skin's text colour
    // would not stand out on. (The value list editor takes the field colours
    // for all its parts through GiveFieldColors instead.)
    const bool grid = kind == ThirdPartyList::ThirdGrids || kind == ThirdPartyList::ThirdGridEh;
    if (IsFieldKind(kind) && !grid && data->Skinned() && manager_->SkinIndexValid(data->SkinIndex)) {
        const TsGeneralData& s = manager_->gd[size_t(data->SkinIndex)];
        control->SetColor(s.Color);
        control->Font().SetColor(s.FontColor[0]);
    }
    links_.push_back({control, control->Handle(), std::move(data)});
}

TacMainWnd* TacCtrlAdapter::AdapterOf(HWND wnd) const
{
    for (const auto& a : adapters_)
        if (a && !a->Unsubclassed() && a->Handle() == wnd)
            return a.get();
    return nullptr;
}

int TacCtrlAdapter::Count() const
{
    return int(std::count_if(adapters_.begin(), adapters_.end(),
                             [](const std::unique_ptr<TacMainWnd>& a) { return a && !a->Unsubclassed(); }));
}

bool TacCtrlAdapter::CanAdapt(tw::TControl* control) const
{
    auto* wc = dynamic_cast<tw::TWinControl*>(control);
    if (!wc || !manager_ || !manager_->Active() || dynamic_cast<tw::TCustomForm*>(wc) || wc->Tag() == acNoSkinTag)
        return false;
    // One adapter to a window: a second would paint over the first and
    // chain into it.
    const HWND wnd = wc->HandleIfAllocated();
    if (!wnd || TacMainWnd::Of(wnd) || (wc->ControlState() & tw::csSkinAdapted))
        return false;
    // A control of another library named in the manager's lists: fields
    // get an adapter and a link, the others a link only.
    if (const int kind = ThirdPartyKind(wc); kind >= 0 && !AskWindow(wnd, AC_QUERYSKINNED))
        return IsFieldKind(kind) || !SkinLinkOf(wc);
    // A combo box passes its scroll style on to its list.
    if (dynamic_cast<tw::TComboBox*>(wc))
        return false;
    return dynamic_cast<tw::TMemo*>(wc) || dynamic_cast<tw::TListBox*>(wc) ||
           dynamic_cast<tw::TValueListEditor*>(wc) || WantsScrollAdapter(wnd);
}

void TacCtrlAdapter::AdaptControl(tw::TControl* control)
{
    if (!CanAdapt(control))
        return;
    if (OnSkinItem) {
        bool canBeAdded = true;
        std::string section;
        OnSkinItem(control, canBeAdded, section);
        if (!canBeAdded)
            return;
    }
    const HWND wnd = static_cast<tw::TWinControl*>(control)->Handle();
    if (const int kind = ThirdPartyKind(control); kind >= 0 && !AskWindow(wnd, AC_QUERYSKINNED)) {
        // Buttons, panels and bars keep their own procedure: their link
        // tells the skin's painting what they are.
        if (!IsFieldKind(kind)) {
            GiveSkinLink(static_cast<tw::TWinControl*>(control), kind);
            return;
        }
        // The adapter saves the control's colours before the link sets the
        // skin's, and gives them back when it goes.
        auto adapter = std::make_unique<TacScrollWnd>(wnd, manager_, SectionOfKind(kind));
        GiveSkinLink(static_cast<tw::TWinControl*>(control), kind);
        adapters_.push_back(std::move(adapter));
        return;
    }
    adapters_.push_back(std::make_unique<TacScrollWnd>(wnd, manager_));
}

void TacCtrlAdapter::AdaptControls(tw::TWinControl* control)
{
    Sweep();
    tw::TWinControl* root = control ? control : form_;
    if (!root)
        return;
    if (control) {
        AdaptControl(control);
        GiveFieldColors(control);
    }
    for (int i = 0; i < root->ControlCount(); ++i) {
        tw::TControl* c = root->Controls(i);
        if (auto* wc = dynamic_cast<tw::TWinControl*>(c)) {
            AdaptControls(wc);
        }
    }
}

void TacCtrlAdapter::SkinMessage(tw::TMessage& m)
{
    if (m.Msg != SM_ALPHACMD)
        return;
    Sweep();
    // A handler may end a window: walk copies of the handles.
    std::vector<HWND> windows;
    for (const auto& a : adapters_)
        if (a && !a->Unsubclassed())
            windows.push_back(a->Handle());
    for (HWND w : windows)
        if (IsWindow(w))
            SendMessageW(w, SM_ALPHACMD, m.WParam, m.LParam);
    for (const TLink& l : links_) {
        tw::TMessage copy{m.Msg, m.WParam, m.LParam, 0};
        CommonMessage(copy, l.Data.get());
    }
}

void TacCtrlAdapter::Refresh()
{
    Sweep();
    // The fields take the colours of the skin now loaded.
    const std::vector<TField> fields = fields_;
    for (const TField& f : fields)
        GiveFieldColors(f.Owner);
    for (const auto& a : adapters_)
        if (auto* scroll = dynamic_cast<TacScrollWnd*>(a.get()))
            scroll->UpdateScrollState(true);
}

} // namespace skin
