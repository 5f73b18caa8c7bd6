// Image lists: equally sized images in one platform image list (comctl32),
// drawn by index. A 32-bit list keeps each image's alpha; a masked list makes
// one colour of each added image transparent.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "base/Object.h"
#include "ui/Graphics.h"

namespace tw {

enum TColorDepth { cd24Bit, cd32Bit };

class TCustomImageList : public TComponent {
public:
    explicit TCustomImageList(TComponent* owner);
    ~TCustomImageList() override;

    int Width() const { return width_; }
    int Height() const { return height_; }
    // A new size, depth or masking empties the list (the platform list is
    // made again for it).
    void SetWidth(int w) { SetSize(w, height_); }
    void SetHeight(int h) { SetSize(width_, h); }
    void SetSize(int w, int h);
    TColorDepth ColorDepth() const { return depth_; }
    void SetColorDepth(TColorDepth d);
    bool Masked() const { return masked_; }
    void SetMasked(bool m);
    // clNone: drawn over what lies beneath; otherwise the colour under
    // transparent pixels.
    TColor BkColor() const { return bkColor_; }
    void SetBkColor(TColor c);

    int Count() const;
    // The image (the list's size; a wider bitmap adds one image per width)
    // and its mask (a monochrome-like picture, black = shown), or none.
    // Returns the index of the first image added, -1 when none was.
    int Add(TBitmap& image, TBitmap* mask = nullptr);
    // Pixels of maskColor become transparent (in a masked list).
    int AddMasked(TBitmap& image, TColor maskColor);
    // False for an index outside 0..Count-1.
    bool Replace(int index, TBitmap& image, TBitmap* mask = nullptr);
    bool Delete(int index);
    void Clear();

    // Draws image index with its top-left at (x, y); nothing for an invalid
    // index. Disabled images are drawn half blended with the highlight colour.
    void Draw(TCanvas& canvas, int x, int y, int index, bool enabled = true);
    // The image's pixels as stored: the bitmap becomes Width x Height,
    // 32 bits (straight alpha; 255 where the list keeps no alpha). False for
    // an invalid index.
    bool GetImageBitmap(int index, TBitmap& bmp);

    HIMAGELIST Handle();
    TNotifyEvent OnChange;

protected:
    virtual void Change();

private:
    void Recreate();
    int AddBitmap(TBitmap& image, TBitmap* mask, TColor maskColor, bool byColor);
    HIMAGELIST handle_ = nullptr;
    int width_ = 16, height_ = 16;
    TColorDepth depth_ = cd24Bit;
    bool masked_ = true;
    TColor bkColor_ = clNone;
};

class TImageList : public TCustomImageList {
public:
    explicit TImageList(TComponent* owner) : TCustomImageList(owner) {}
};

} // namespace tw
