#pragma once
// Windows only. The part every skinned control of this folder shares: it
// owns its skin link with the control kind, hands each message to the common
// handler first, then to its own skinned handling, then answers the skin
// sub-commands the engine leaves to the control itself, and keeps the fade
// timer of its hot and pressed looks.
#include <windows.h>

#include <cstdint>
#include <string>
#include <type_traits>

#include "skin/controls/sControlCache.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/effects/sFade.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/engine/painting/GlyphDrawing.h"
#include "ui/Controls.h"

namespace skin {

namespace detail {

// A windowed control learns when its window exists; a graphic one has none.
template <class Base> class TsWindowHook : public Base {
public:
    using Base::Base;

protected:
    virtual void WindowMade() = 0;
    void HandleCreated() override
    {
        Base::HandleCreated();
        WindowMade();
    }
};

template <class Base> class TsNoWindowHook : public Base {
public:
    using Base::Base;

protected:
    virtual void WindowMade() = 0;
};

template <class Base>
using TsHookedBase =
    std::conditional_t<std::is_base_of_v<tw::TWinControl, Base>, TsWindowHook<Base>, TsNoWindowHook<Base>>;

} // namespace detail

template <class Base> class TsSkinnedControl : public detail::TsHookedBase<Base> {
    using Hooked = detail::TsHookedBase<Base>;

public:
    TsSkinnedControl(tw::TComponent* owner, int32_t kind) : Hooked(owner), SkinData(this, true)
    {
        SkinData.COC = kind;
        // A kind without a section of its own takes the class name, which is
        // only known once the object is complete (Loaded, or the window).
        if (!DefaultSectionOfKind(kind).empty()) SkinData.SetDefaultSection();
    }
    ~TsSkinnedControl() override { StopFadeEffect(fade_); }
    TsSkinnedControl(const TsSkinnedControl&) = delete;
    TsSkinnedControl& operator=(const TsSkinnedControl&) = delete;

    TsCommonData SkinData;
    // The mouse events this control fades on; with aeGlobalDef the
    // manager's button events decide the others.
    TacAnimatEvents AnimatEvents = DefaultAnimatEvents;
    // A fade between two looks is running.
    bool Fading() const { return fade_ && fade_->Enabled(); }
    // The look of the disabled control (TsDisabledKind bits): blended with
    // what lies under it by default.
    unsigned DisabledKind() const { return disabledKind_; }
    void SetDisabledKind(unsigned kind)
    {
        if (kind == disabledKind_) return;
        disabledKind_ = kind;
        if (SkinData.Skinned() && !this->Enabled()) RepaintSkin();
    }

    void WndProc(tw::TMessage& m) override
    {
        if (CommonWndProc(m, &SkinData)) return;
        if (SkinData.Skinned() && SkinnedMessage(m)) return;
        if (m.Msg == SM_ALPHACMD) {
            bool skinChanged = false;
            const bool taken = AnswerControlCommand(m, SkinData, fade_, skinChanged);
            if (skinChanged) SkinChanged();
            if (taken) return;
        }
        if (m.Msg == WM_ERASEBKGND && SkinData.Skinned() && EraseFromCache()) {
            m.Result = 1;
            return;
        }
        Hooked::WndProc(m);
    }
    void Loaded() override
    {
        Hooked::Loaded();
        SkinData.Loaded();
    }

protected:
    // A message of the skinned look, only asked while the control is
    // skinned; true when it was taken.
    virtual bool SkinnedMessage(tw::TMessage&) { return false; }
    // A skin was loaded, changed or removed (and the window was made): the
    // control takes what it keeps of the skin.
    virtual void SkinChanged() {}
    // The picture covers the whole window, so erasing first would only
    // flicker. Controls whose system class paints its own inside (edits,
    // combo boxes) keep the system's erasing.
    virtual bool EraseFromCache() const { return true; }
    // Paints a control that shows only the skin's picture: the cache
    // (rebuilt when its background changed) onto dc; nullptr builds the
    // cache alone.
    virtual void PaintSkin(HDC) {}

    // Paints the look again at once, the cache rebuilt.
    void RepaintSkin()
    {
        SkinData.BGChangedFlag = true;
        SkinData.InvalidateOwner();
    }
    // The paint messages of a windowed control that shows only its cache;
    // true when taken.
    bool OwnPaintMessage(tw::TMessage& m)
    {
        if (m.Msg == WM_ERASEBKGND) {
            m.Result = 1;
            return true;
        }
        // A printed copy (the picture of a page change or a fade) shows the
        // skin's picture too, not the system's look of the window class.
        if (m.Msg == WM_PRINTCLIENT && m.WParam) {
            PaintSkin(reinterpret_cast<HDC>(m.WParam));
            m.Result = 0;
            return true;
        }
        if (m.Msg != WM_PAINT) return false;
        PAINTSTRUCT ps{};
        HDC dc = m.WParam ? reinterpret_cast<HDC>(m.WParam) : BeginPaint(this->Handle(), &ps);
        PaintSkin(dc);
        if (!m.WParam) EndPaint(this->Handle(), &ps);
        m.Result = 0;
        return true;
    }
    // Shows a changed hot or pressed look: a fade from the picture on screen
    // when the section and the manager ask for one (the cache is rebuilt at
    // once as its goal; the timer shows the frames), else a plain repaint.
    void ShowNewLook(TacAnimatEvent event, uint8_t direction)
    {
        if (!SkinData.Skinned() || !this->HandleAllocated()) return;
        StartFadeEffect(fade_, &SkinData, false, direction,
                        AnimEventAllowed(event, AnimatEvents, SkinData.SkinManager()));
        if (Fading()) PaintSkin(nullptr);
    }
    // Controls created in code are never loaded from a layout: their link
    // finds its section when their window comes.
    void WindowMade() override
    {
        if (SkinData.SkinIndex < 0) SkinData.Loaded();
        SkinChanged();
    }

    TsFadeTimer* fade_ = nullptr;
    unsigned disabledKind_ = dkBlended;
    int paintedState_ = -1;
    std::string paintedLook_;
};

} // namespace skin
