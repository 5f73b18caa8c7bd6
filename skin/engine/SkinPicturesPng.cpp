#include "skin/engine/SkinPictures.h"

namespace skin {

std::unique_ptr<TPixelImage> LoadPngPicture(const uint8_t*, size_t)
{
    throw EInvalidPicture("PNG pictures are not readable yet");
}

} // namespace skin
