#pragma once
// Windows only. The image list of the skinned controls whose images keep
// their alpha: states laid side by side in one image, drawn blended into a
// skinned control's cache or onto a device context.
#include "skin/engine/painting/ImageListGlyphs.h"
#include "ui/ImgList.h"

namespace skin {

// State `state` of the `states` frames laid side by side in image `index`,
// blended by its alpha into dst at pos; with a faded mirror image below it
// when reflected, grey and half transparent when disabled. Nothing for an
// index the list does not have.
void DrawAlphaImage(tw::TCustomImageList& list, int index, tw::TBitmap& dst, TPoint pos, int state, int states,
                    bool reflected, bool disabled);
// The same onto a device context, through a 32-bit picture of what the
// context shows there.
void DrawAlphaImageDC(tw::TCustomImageList& list, int index, HDC dc, TPoint pos, int state, int states,
                      bool reflected, bool disabled);

class TsAlphaImageList : public tw::TImageList, public TsAlphaImages {
public:
    explicit TsAlphaImageList(tw::TComponent* owner);
    void DrawAlphaImage(int index, tw::TBitmap& dst, TPoint pos, int state, int states, bool reflected,
                        bool disabled) override
    {
        skin::DrawAlphaImage(*this, index, dst, pos, state, states, reflected, disabled);
    }
    void DrawAlphaImageDC(int index, HDC dc, TPoint pos, int state, int states, bool reflected,
                          bool disabled) override
    {
        skin::DrawAlphaImageDC(*this, index, dc, pos, state, states, reflected, disabled);
    }
};

} // namespace skin
