// JPEG (libjpeg, IJG 6b interface) and PNG (libpng) pictures. Both decode
// into a TBitmap: JPEG to 24 bits, PNG to 32 bits with straight alpha when
// the image has transparency, else 24 bits. Nothing here writes JPEG or PNG.
#pragma once

#include <memory>
#include <string>

#include "ui/Graphics.h"

namespace tw {

class TJPEGImage : public TGraphic {
public:
    TJPEGImage();
    ~TJPEGImage() override;
    int Width() const override { return bitmap_->Width(); }
    int Height() const override { return bitmap_->Height(); }
    bool Empty() const override { return bitmap_->Empty(); }
    void Draw(TCanvas& canvas, const TRect& r) override;
    void LoadFromStream(TStream& s) override;
    void Assign(const TGraphic& source) override;
    // Decodes JPEG bytes (throws EInvalidGraphic on broken data).
    void LoadFromMemory(const uint8_t* data, size_t size);
    TBitmap& Bitmap() { return *bitmap_; }
    const TBitmap& Bitmap() const { return *bitmap_; }

private:
    std::unique_ptr<TBitmap> bitmap_;
};

class TPngImage : public TGraphic {
public:
    TPngImage();
    ~TPngImage() override;
    int Width() const override { return bitmap_->Width(); }
    int Height() const override { return bitmap_->Height(); }
    bool Empty() const override { return bitmap_->Empty(); }
    // Images with alpha are blended (AlphaBlend), others copied.
    void Draw(TCanvas& canvas, const TRect& r) override;
    void LoadFromStream(TStream& s) override;
    void Assign(const TGraphic& source) override;
    void LoadFromMemory(const uint8_t* data, size_t size);
    // A resource of type "PNG" by number or by name.
    void LoadFromResourceID(HINSTANCE inst, int id);
    void LoadFromResourceName(HINSTANCE inst, const std::string& name);
    bool HasAlpha() const { return hasAlpha_; }
    TBitmap& Bitmap() { return *bitmap_; }
    const TBitmap& Bitmap() const { return *bitmap_; }

private:
    std::unique_ptr<TBitmap> bitmap_;
    bool hasAlpha_ = false;
};

// Puts the program's PNG resource `name` into `picture`; false, with the
// picture left empty, when the resource is missing or cannot be read.
bool LoadPngResource(TPicture& picture, const std::string& name);

} // namespace tw
