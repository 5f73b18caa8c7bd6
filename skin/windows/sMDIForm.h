#pragma once
// The MDI side of a skinned form: the helper an MDI parent's provider keeps
// and the adapter on the parent's MDI client window, which paints the MDI
// area from the skin and has the parent's frame repainted when its children
// come, go or change places. The class library itself has no MDI forms; the
// helper takes the client window it is to adapt.
#include <windows.h>

#include <memory>

#include "skin/engine/common/GdiGuards.h"
#include "skin/windows/acSBUtils.h"

namespace skin {

class TsCommonData;
class TsMDIForm;
class TsSkinProvider;

// The adapter of an MDI client window: its background in the "MDIAREA"
// colour, its scroll bars the skin's.
class TacMDIWnd : public TacScrollWnd {
public:
    TacMDIWnd(HWND client, TsSkinManager* manager, const std::string& section);
    ~TacMDIWnd() override;
    // Back references, set by the helper after construction.
    TsMDIForm* MDIForm = nullptr;
    TsCommonData* ProviderSkinData = nullptr;
    TsSkinProvider* Provider = nullptr;

protected:
    LRESULT AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    TSolidBrush brush_;
};

class TsMDIForm {
public:
    TsMDIForm(TsSkinProvider* provider, HWND client);
    ~TsMDIForm();
    TsMDIForm(const TsMDIForm&) = delete;
    TsMDIForm& operator=(const TsMDIForm&) = delete;

    // Adapts the client unless it is adapted already or the form is being
    // designed.
    void ConnectToClientIfNeeded();
    // A new adapter (the old one freed) while the provider is skinned; none
    // otherwise.
    void ConnectToClient();
    void DisconnectFromClient();
    // The provider's whole frame painted again (children changed).
    void RepaintFrame();

    TacMDIWnd* MDIAdapter() const { return adapter_.get(); }
    HWND Client() const { return client_; }
    int FrameRepaints() const { return repaints_; }

private:
    bool Designing() const;
    TsSkinProvider* provider_;
    HWND client_;
    std::unique_ptr<TacMDIWnd> adapter_;
    int repaints_ = 0;
};

} // namespace skin
