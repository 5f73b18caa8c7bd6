#include "skin/engine/images/SkinPictures.h"
#include "skin/engine/images/acPNG.h"

namespace skin {

std::unique_ptr<TPixelImage> LoadPngPicture(const uint8_t* data, size_t size, int64_t packedSize)
{
    TPNGGraphic png;
    png.SourceBytesLimit = packedSize;
    png.LoadFromMemory(data, size);
    // Palette and grey pictures come as 24 bits, pictures with alpha as 32.
    return std::make_unique<TPixelImage>(png.Image());
}

} // namespace skin
