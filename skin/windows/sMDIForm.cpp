#include "skin/windows/sMDIForm.h"

#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Forms.h"

namespace skin {

TacMDIWnd::TacMDIWnd(HWND client, TsSkinManager* manager, const std::string& section)
    : TacScrollWnd(client, manager, section, "TacMDIWnd")
{
    InvalidateRect(client, nullptr, TRUE);
}

TacMDIWnd::~TacMDIWnd() = default;

LRESULT TacMDIWnd::AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_ERASEBKGND:
        if (manager_ && manager_->Active() && wp) {
            const int i = manager_->GetSkinIndex("MDIAREA");
            const COLORREF c = COLORREF(manager_->SkinIndexValid(i) ? manager_->gd[size_t(i)].Color
                                                                    : manager_->GetGlobalColor()) &
                               0xFFFFFF;
            RECT r;
            GetClientRect(Handle(), &r);
            FillRect(reinterpret_cast<HDC>(wp), &r, brush_.Of(c));
            return 1;
        }
        break;
    case WM_MDICREATE:
    case WM_MDIDESTROY:
    case WM_MDIACTIVATE:
    case WM_MDIRESTORE:
    case WM_MDIMAXIMIZE: {
        // The parent's title and menu line show the active child's state.
        // The children's handling may free the adapter (and its helper).
        const TLife life(*this);
        const LRESULT r = TacScrollWnd::AdapterWndProc(msg, wp, lp);
        if (life.Alive() && MDIForm)
            MDIForm->RepaintFrame();
        return r;
    }
    default:
        break;
    }
    return TacScrollWnd::AdapterWndProc(msg, wp, lp);
}

TsMDIForm::TsMDIForm(TsSkinProvider* provider, HWND client) : provider_(provider), client_(client)
{
    if (provider_ && provider_->Form())
        provider_->Form()->HandleNeeded();
}

TsMDIForm::~TsMDIForm() { DisconnectFromClient(); }

bool TsMDIForm::Designing() const
{
    const tw::TCustomForm* form = provider_ ? provider_->Form() : nullptr;
    return form && (form->ComponentState() & tw::csDesigning);
}

void TsMDIForm::ConnectToClientIfNeeded()
{
    // A form being designed keeps the system's MDI area.
    if (!adapter_ && !Designing())
        ConnectToClient();
}

void TsMDIForm::ConnectToClient()
{
    DisconnectFromClient();
    if (!provider_ || !provider_->Skinned() || !client_ || !IsWindow(client_))
        return;
    adapter_ = std::make_unique<TacMDIWnd>(client_, provider_->SkinManager(), "CHECKBOX");
    adapter_->MDIForm = this;
    adapter_->ProviderSkinData = &provider_->SkinData();
    adapter_->Provider = provider_;
}

void TsMDIForm::DisconnectFromClient()
{
    // Freeing the adapter gives the client its own procedure back.
    adapter_.reset();
}

void TsMDIForm::RepaintFrame()
{
    ++repaints_;
    if (!provider_ || !provider_->Form() || !provider_->Form()->HandleAllocated())
        return;
    provider_->SkinData().BGChangedFlag = true;
    // As the provider's own procedure does before a whole new frame: the
    // frame's cut-outs are taken again and no caption button stays hot from
    // before (the frame picture is built anew from BGChanged, title
    // included).
    provider_->ncChanged_ = true;
    provider_->hotCode_ = -1;
    SendMessageA(provider_->Form()->Handle(), WM_NCPAINT, 0, 0);
}

} // namespace skin
