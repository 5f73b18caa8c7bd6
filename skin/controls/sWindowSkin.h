#pragma once
// Windows only. Painting helpers of the skinned controls that show only
// their skin's picture, beside the shared base of every skinned control.
#include <windows.h>

#include <string>

#include "skin/controls/sControlBase.h"
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

} // namespace skin
