#include "skin/engine/sVclUtils.h"

#include "ui/Graphics.h"

namespace skin {

uint8_t AnimationRunning = 0;
bool WindowAnimating = false;

LRESULT SendSkinCommand(HWND wnd, uint16_t command, LPARAM lparam)
{
    return SendMessageW(wnd, SM_ALPHACMD, SkinWParam(command), lparam);
}

namespace {

bool IsWindowedControl(tw::TControl* control, tw::TWinControl*& win)
{
    win = control->IsWindowed() ? static_cast<tw::TWinControl*>(control) : nullptr;
    return win != nullptr;
}

} // namespace

LRESULT SendSkinCommandToControl(tw::TControl* control, uint16_t command, LPARAM lparam)
{
    if (!control)
        return 0;
    tw::TWinControl* win;
    if (!IsWindowedControl(control, win))
        return control->Perform(SM_ALPHACMD, SkinWParam(command), lparam);
    if (win->IsDestroying() || !win->HandleAllocated())
        return 0;
    return SendMessageW(win->Handle(), SM_ALPHACMD, SkinWParam(command), lparam);
}

LRESULT AskControl(tw::TControl* control, uint16_t command)
{
    return SendSkinCommandToControl(control, command, 0);
}

bool AskWindow(HWND wnd, uint16_t command)
{
    return SendSkinCommand(wnd, command, 0) == 1;
}

void NotifyParentForm(tw::TControl* control)
{
    if (!control || control->IsLoading() || (control->ComponentState() & tw::csDesigning))
        return;
    if (tw::TCustomForm* form = control->ParentForm())
        SendSkinCommand(form->Handle(), AC_CONTROLLOADED, reinterpret_cast<LPARAM>(control));
}

void RefreshChildren(tw::TWinControl* parent)
{
    if (AnimationRunning || !parent)
        return;
    for (int i = 0; i < parent->ControlCount(); ++i) {
        tw::TControl* child = parent->Controls(i);
        tw::TWinControl* win;
        if (!IsWindowedControl(child, win) || child->IsDestroying())
            continue; // graphic children are painted by their parent
        if (win->HandleAllocated() && win->Showing())
            SendSkinCommand(win->Handle(), AC_REFRESHSTATE);
    }
}

void RefreshChildWindows(HWND wnd)
{
    for (HWND child = GetTopWindow(wnd); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetWindowLongPtrW(child, GWL_STYLE) & WS_CHILD)
            SendSkinCommand(child, AC_REFRESHSTATE);
    }
}

void BroadcastToChildren(tw::TWinControl* parent, tw::TMessage& message)
{
    if (!parent)
        return;
    for (int i = 0; i < parent->ControlCount(); ++i) {
        tw::TControl* child = parent->Controls(i);
        if (child->IsDestroying())
            break;
        tw::TWinControl* win;
        if (!IsWindowedControl(child, win) || !win->HandleAllocated()) {
            message.Result = child->Perform(message.Msg, message.WParam, message.LParam);
        } else if (AskWindow(win->Handle(), AC_QUERYSKINNED)) {
            message.Result = SendMessageW(win->Handle(), message.Msg, message.WParam, message.LParam);
        }
        if (win)
            BroadcastToChildren(win, message);
    }
}

namespace {

struct TChildBroadcast {
    HWND Parent;
    tw::TMessage* Message;
};

BOOL CALLBACK BroadcastChildWindow(HWND wnd, LPARAM data)
{
    auto* b = reinterpret_cast<TChildBroadcast*>(data);
    if (GetParent(wnd) == b->Parent)
        b->Message->Result = SendMessageW(wnd, b->Message->Msg, b->Message->WParam, b->Message->LParam);
    return TRUE;
}

} // namespace

void BroadcastToChildWindows(HWND wnd, tw::TMessage& message)
{
    TChildBroadcast b{wnd, &message};
    EnumChildWindows(wnd, BroadcastChildWindow, reinterpret_cast<LPARAM>(&b));
}

TColor GetControlColor(tw::TControl* control)
{
    if (!control)
        return clKeyColor;
    if (AskControl(control, AC_QUERYSKINNED) == 1) {
        const auto answer = static_cast<tw::TColor>(control->Perform(SM_ALPHACMD, SkinWParam(AC_QUERYCOLOR), clKeyColor));
        return static_cast<TColor>(tw::ColorToRGB(answer));
    }
    return static_cast<TColor>(tw::ColorToRGB(control->Color()));
}

TColor GetWindowColor(HWND wnd)
{
    if (!wnd)
        return clKeyColor;
    const auto answer = static_cast<tw::TColor>(SendSkinCommand(wnd, AC_QUERYCOLOR, clKeyColor));
    return static_cast<TColor>(tw::ColorToRGB(answer));
}

tw::TCustomForm* GetOwnerForm(tw::TComponent* component)
{
    for (; component; component = component->Owner()) {
        if (auto* form = dynamic_cast<tw::TCustomForm*>(component))
            return form;
    }
    return nullptr;
}

HWND GetTopParentWindow(HWND wnd)
{
    while (HWND parent = GetParent(wnd))
        wnd = parent;
    return wnd;
}

bool ControlIsReady(tw::TControl* control)
{
    if (!control)
        return false;
    tw::TWinControl* win;
    if (IsWindowedControl(control, win) && !win->HandleAllocated())
        return false;
    return !control->IsLoading() && !control->IsDestroying() && control->Parent() != nullptr;
}

TPoint GetMousePos()
{
    POINT p{};
    GetCursorPos(&p);
    return TPoint(p.x, p.y);
}

TRect GetClientRectInWindow(HWND wnd)
{
    RECT client{}, window{};
    GetClientRect(wnd, &client);
    GetWindowRect(wnd, &window);
    POINT origin{0, 0};
    ClientToScreen(wnd, &origin);
    TRect r(client);
    r.Offset(origin.x - window.left, origin.y - window.top);
    return r;
}

int AlignedChildrenSize(tw::TWinControl* parent, tw::TAlign align, bool withGraphic)
{
    int size = 0;
    for (int i = 0; parent && i < parent->ControlCount(); ++i) {
        tw::TControl* child = parent->Controls(i);
        if (!child->Visible() || child->Align() != align || (!withGraphic && !child->IsWindowed()))
            continue;
        size += (align == tw::alTop || align == tw::alBottom) ? child->Height() : child->Width();
    }
    return size;
}

UINT TextFlagsByAlignment(tw::TAlignment alignment)
{
    static constexpr UINT byAlignment[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
    return byAlignment[alignment] | DT_EXPANDTABS | DT_VCENTER;
}

TSetWindowTheme SetWindowThemeProc()
{
    // Loaded once and kept for the life of the process: adapters call it
    // on every window they take over.
    static const TSetWindowTheme proc = [] {
        HMODULE lib = LoadLibraryW(L"uxtheme.dll");
        return lib ? reinterpret_cast<TSetWindowTheme>(reinterpret_cast<void*>(GetProcAddress(lib, "SetWindowTheme")))
                   : nullptr;
    }();
    return proc;
}

} // namespace skin
