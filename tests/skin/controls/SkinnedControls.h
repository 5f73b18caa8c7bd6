#pragma once
// A shown form under our own skin for the skinned controls' window tests,
// and the ways the tests paint and switch the skin as the program does.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <utility>

#include "OwnSkin.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/link/sVclUtils.h"
#include "ui/Forms.h"

namespace skin::test {

class SkinnedFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        manager = MakeOwnSkinManager();
        ASSERT_TRUE(manager);
        form = std::make_unique<tw::TForm>(nullptr);
        form->SetBounds(20, 20, 360, 260);
    }
    void TearDown() override
    {
        form.reset();
        manager.reset();
    }
    // A control owned by the form, on parent, at the bounds; further
    // arguments go to its constructor after the owner.
    template <class T, class... Args>
    T* Add(tw::TWinControl* parent, int x, int y, int w, int h, Args&&... args)
    {
        auto* c = new T(form.get(), std::forward<Args>(args)...);
        c->SetParent(parent);
        c->SetBounds(x, y, w, h);
        return c;
    }
    void ShowForm()
    {
        form->Show();
        PaintNow();
    }
    // Paints everything that is invalid now, through real WM_PAINT.
    void PaintNow()
    {
        RedrawWindow(form->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
    // The form is not registered with a provider here: the skin's news reach
    // the controls the way the provider passes them on.
    void Tell(uint16_t command)
    {
        tw::TMessage m{SM_ALPHACMD, SkinWParam(command), reinterpret_cast<LPARAM>(manager.get()), 0};
        BroadcastToChildren(form.get(), m);
    }
    void SkinOff()
    {
        manager->SetActive(false);
        Tell(AC_SKINREMOVED);
        PaintNow();
    }
    void SkinOn()
    {
        manager->SetActive(true);
        Tell(AC_SKINLOADED);
        PaintNow();
    }
    std::unique_ptr<TsSkinManager> manager;
    std::unique_ptr<tw::TForm> form;
};

inline COLORREF Pixel(tw::TBitmap& b, int x, int y) { return GetPixel(b.Canvas().Handle(), x, y); }
inline void Fill(tw::TBitmap& b, COLORREF c)
{
    b.Canvas().Brush().SetColor(TColor(c));
    b.Canvas().FillRect({0, 0, b.Width(), b.Height()});
}

// A pixel of a control's cache picture; the tests mark it to see whether
// the cache was painted again.
inline COLORREF CachePixel(tw::TBitmap* cache, int x, int y) { return Pixel(*cache, x, y); }
inline void MarkCache(tw::TBitmap* cache, int x, int y) { SetPixel(cache->Canvas().Handle(), x, y, RGB(1, 2, 3)); }
inline bool CacheMarked(tw::TBitmap* cache, int x, int y) { return CachePixel(cache, x, y) == RGB(1, 2, 3); }

} // namespace skin::test
