#pragma once
// Windows only. What every skinned control of this folder shares: it owns
// its skin link, hands each message to the common handler first, keeps the
// fade timer of its hot and pressed looks and answers the sub-commands that
// the engine leaves to the control itself.
#include <windows.h>

#include <string>

#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/effects/sFade.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "ui/Controls.h"

namespace skin {

// Rebuilds the link's cache with build(cache) when its background changed
// or its size is no longer w x h, then copies the cache onto dc (nullptr:
// the cache alone, as the goal of a fade).
template <class Build> void PaintThroughCache(TsCommonData& data, int w, int h, HDC dc, Build build)
{
    if (w <= 0 || h <= 0) return;
    tw::TBitmap* cache = data.CacheBmp();
    if (data.BGChangedFlag || !cache || cache->Width() != w || cache->Height() != h) {
        data.InitCacheBmp();
        cache = data.CacheBmp();
        if (!cache) return;
        build(*cache);
        data.BGChangedFlag = false;
    }
    if (dc) BitBlt(dc, 0, 0, w, h, cache->Canvas().Handle(), 0, 0, SRCCOPY);
}

// What lies under the control (parent's picture or colour) into r.
void FillFromParent(tw::TBitmap& cache, const TCacheInfo& parent, const TRect& r);

// A captioned item (tab, header section) from a section into its rectangle
// of the cache: background and border for the state, then its text.
struct TsTextItem {
    TRect R;
    std::string Text;
    int State = 0;
    UINT Flags = DT_SINGLELINE | DT_VCENTER | DT_CENTER;
    int TextIndent = 0;   // left and right, inside R
};
void PaintTextItem(tw::TBitmap& cache, TsSkinManager* manager, int skinIndex, const std::string& section,
                   const TsTextItem& item, bool enabled);

template <class Base> class TsSkinned : public Base {
public:
    TsSkinned(tw::TComponent* owner, int32_t kind) : Base(owner), SkinData(this, true) { SkinData.COC = kind; }
    ~TsSkinned() override { StopFadeEffect(fadeTimer_); }

    TsCommonData SkinData;
    // A fade between two looks is running.
    bool Fading() const { return fadeTimer_ && fadeTimer_->Enabled(); }

    void Loaded() override
    {
        Base::Loaded();
        SkinData.Loaded();
    }
    void WndProc(tw::TMessage& m) override
    {
        bool taken = CommonWndProc(m, &SkinData);
        if (m.Msg == SM_ALPHACMD) {
            if (!taken) taken = ControlCommand(m);
            const uint16_t command = SkinCommandOf(m.WParam);
            if (command == AC_SKINLOADED || command == AC_SKINREMOVED || command == AC_SKINREFRESH) SkinChanged();
        }
        if (taken) return;
        if (SkinData.Skinned() && SkinnedMessage(m)) return;
        Base::WndProc(m);
    }

protected:
    // A message of the skinned look; true when it was taken.
    virtual bool SkinnedMessage(tw::TMessage&) { return false; }
    // Paints the look again at once, the cache rebuilt.
    void RepaintSkin()
    {
        SkinData.BGChangedFlag = true;
        SkinData.InvalidateOwner();
    }
    // A skin was loaded, changed or removed (and the window was made): the
    // control takes what it keeps of the skin.
    virtual void SkinChanged() {}
    // Paints a control that shows only the skin's picture: the cache
    // (rebuilt when its background changed) onto dc; nullptr builds the
    // cache alone.
    virtual void PaintSkin(HDC) {}
    // The paint messages of such a control; true when taken.
    bool OwnPaintMessage(tw::TMessage& m)
    {
        if (m.Msg == WM_ERASEBKGND) {
            m.Result = 1;
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
        StartFadeEffect(fadeTimer_, &SkinData, false, direction,
                        AnimEventAllowed(event, DefaultAnimatEvents, SkinData.SkinManager()));
        if (fadeTimer_ && fadeTimer_->Enabled()) PaintSkin(nullptr);
    }
    // Controls created in code are never loaded from a form file: their
    // link finds its section when their window comes.
    void HandleCreated() override
    {
        Base::HandleCreated();
        if (SkinData.SkinIndex < 0) SkinData.Loaded();
        SkinChanged();
    }
    TsFadeTimer* fadeTimer_ = nullptr;

private:
    bool ControlCommand(tw::TMessage& m)
    {
        switch (SkinCommandOf(m.WParam)) {
        case AC_REFRESHSTATE:
        case AC_SETACTIVESTATE:
            if (SkinData.Skinned()) RepaintSkin();
            return true;
        case AC_STOPANIMATION:
            StopFadeEffect(fadeTimer_);
            return true;
        case AC_RESETCACHE:
            SkinData.BGChangedFlag = true;
            return true;
        case AC_FADESTART:
            return true;
        case AC_FADEFRAME:
            m.Result = 0;   // the timer copies the frame to the window itself
            return true;
        default:
            return false;
        }
    }
};

} // namespace skin
