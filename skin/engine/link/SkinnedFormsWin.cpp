#include "skin/engine/link/SkinnedForms.h"

#include <algorithm>
#include <memory>

#include <shellapi.h>

#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sVclUtils.h"
#include "ui/Application.h"

namespace skin {

std::function<void(tw::TMessage&)> BroadcastToForeignWindows;
std::string SectionFilter;
std::function<void(tw::TMessage&)> BroadcastToIdleProviders;

namespace {

std::vector<tw::TCustomForm*>& Registry()
{
    static std::vector<tw::TCustomForm*> forms;
    return forms;
}

// Forms with a window of their own: not children of another control and
// on the screen, so the lock and the redraw concern them.
bool IsTopLevelShownForm(tw::TCustomForm* form)
{
    return !form->IsDestroying() && form->Parent() == nullptr && form->Visible() && form->HandleAllocated() &&
           form->WindowState() != tw::wsMinimized;
}

bool MainWindowMinimized()
{
    tw::TCustomForm* main = tw::Application->MainForm();
    return main && main->HandleAllocated() && IsIconic(main->Handle());
}

void DeliverToForm(tw::TCustomForm* form, tw::TMessage& message)
{
    if (form->HandleAllocated())
        message.Result = SendMessageW(form->Handle(), message.Msg, message.WParam, message.LParam);
    else
        message.Result = form->Perform(message.Msg, message.WParam, message.LParam);
    BroadcastToChildren(form, message);
}

} // namespace

TSkinnedFormLink* QueryProvider(tw::TCustomForm* form)
{
    if (!form || !form->HandleAllocated())
        return nullptr;
    return reinterpret_cast<TSkinnedFormLink*>(SendSkinCommand(form->Handle(), AC_QUERYPROVIDER));
}

int AddSkinnedForm(tw::TCustomForm* form)
{
    Registry().push_back(form);
    return static_cast<int>(Registry().size());
}

void RemoveSkinnedForm(tw::TCustomForm* form)
{
    // The last form moves into the freed place. The slot is looked at again
    // after the move: the form taken from the end may be the same one (a
    // form registered twice), which must not stay behind.
    auto& forms = Registry();
    for (size_t i = 0; i < forms.size();) {
        if (forms[i] == form) {
            forms[i] = forms.back();
            forms.pop_back();
        } else {
            ++i;
        }
    }
}

const std::vector<tw::TCustomForm*>& SkinnedForms() { return Registry(); }

void BroadcastToForms(tw::TMessage& message)
{
    // From the last to the first, checking the count each time: a form may
    // go away while it handles the message.
    for (int i = tw::Application->ComponentCount() - 1; i >= 0; --i) {
        if (i >= tw::Application->ComponentCount())
            continue;
        auto* form = dynamic_cast<tw::TForm*>(tw::Application->Components(i));
        if (!form || form->IsDestroying() || form->IsLoading())
            continue;
        // Skinned forms get it below, once: the registered ones (also before
        // they have a window) and those whose window belongs to the library.
        if (std::find(Registry().begin(), Registry().end(), form) != Registry().end() ||
            (form->HandleAllocated() && AskWindow(form->Handle(), AC_QUERYSKINNED)))
            continue;
        DeliverToForm(form, message);
    }
    BroadcastToSkinnedForms(message);
    if (BroadcastToIdleProviders)
        BroadcastToIdleProviders(message);
}

void BroadcastToSkinnedForms(tw::TMessage& message)
{
    // Indexes, not iterators: a form may leave the registry while it handles
    // the message.
    auto& forms = Registry();
    for (size_t i = 0; i < forms.size(); ++i) {
        if (forms[i] && !forms[i]->IsDestroying())
            DeliverToForm(forms[i], message);
    }
    if (BroadcastToForeignWindows)
        BroadcastToForeignWindows(message);
}

void BeginSkinChange(TsSkinManager* manager)
{
    if (MainWindowMinimized())
        return;
    if (manager && manager == DefaultManager && manager->AnimEffects.SkinChanging.Active)
        WindowAnimating = true;
    for (tw::TCustomForm* form : Registry()) {
        if (!form || !IsTopLevelShownForm(form))
            continue;
        TSkinnedFormLink* provider = QueryProvider(form);
        if (provider && provider->LinkManager() == manager) {
            provider->SetSkinChangeLock(true);
            SendMessageW(form->Handle(), WM_SETREDRAW, FALSE, 0);
        }
    }
}

namespace {

// A maximised form with an extended border is shown maximised again so the
// border window follows the new skin's frame.
void ReshowMaximized(HWND wnd)
{
    const LONG_PTR style = GetWindowLongPtrW(wnd, GWL_STYLE);
    SetWindowLongPtrW(wnd, GWL_STYLE, style & ~LONG_PTR(WS_VISIBLE));
    HWND active = GetActiveWindow();
    ShowWindow(wnd, SW_MAXIMIZE);
    SetWindowLongPtrW(wnd, GWL_STYLE, GetWindowLongPtrW(wnd, GWL_STYLE) | WS_VISIBLE);
    if (active)
        SetActiveWindow(active);
}

} // namespace

void EndSkinChange(TsSkinManager* manager, bool animate)
{
    if (MainWindowMinimized())
        return;
    if (manager && manager == DefaultManager)
        WindowAnimating = false;
    auto& forms = Registry();
    for (size_t i = 0; i < forms.size(); ++i) {
        tw::TCustomForm* form = forms[i];
        if (!form || !IsTopLevelShownForm(form))
            continue;
        TSkinnedFormLink* provider = QueryProvider(form);
        if (!provider || provider->LinkManager() != manager)
            continue;
        HWND wnd = form->Handle();
        if (!animate) {
            // The lock ends here too: a provider left locked would never
            // paint its form again.
            SendMessageW(wnd, WM_SETREDRAW, TRUE, 0);
            provider->SetSkinChangeLock(false);
            continue;
        }
        if (manager && manager->AnimEffects.SkinChanging.Active)
            AnimShowControl(form, provider->FormSkinned() ? manager->AnimEffects.SkinChanging.Time : 0);
        if (provider->HasBorderWindow() && form->WindowState() == tw::wsMaximized)
            ReshowMaximized(wnd);
        SendMessageW(wnd, WM_SETREDRAW, TRUE, 0);
        provider->SetSkinChangeLock(false);
        if (provider->FormSkinned()) {
            // Systems before version 6 keep the old skin's region through the
            // change unless it goes before the new one is set.
            if (AnimationMajorVersion && AnimationMajorVersion() < 6)
                SetWindowRgn(wnd, nullptr, FALSE);
            provider->UpdateFormRegion();
            RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
            provider->UpdateBorderWindow(255);
        } else {
            RedrawWindow(wnd, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
        }
    }
}

HICON ApplicationIcon(bool large)
{
    // Asked once: the program file does not change while it runs.
    static const std::unique_ptr<tw::TIcon> smallIcon =
        GetFileIcon(tw::Application->ExeName(), SHGFI_SMALLICON);
    static const std::unique_ptr<tw::TIcon> largeIcon = GetFileIcon(tw::Application->ExeName(), SHGFI_LARGEICON);
    const auto& icon = large ? largeIcon : smallIcon;
    return icon ? icon->Handle() : nullptr;
}

} // namespace skin
