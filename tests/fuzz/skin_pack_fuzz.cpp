// libFuzzer target: arbitrary bytes through the packed skin archive reader.
// Reading either fills the convertor or raises one of our exceptions.
#include <cstddef>
#include <cstdint>

#include "skin/engine/data/acSkinPack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    tw::TMemoryStream packed;
    packed.WriteBuffer(data, int64_t(size));
    skin::TacSkinConvertor convertor;
    convertor.SetPackedData(&packed, false);
    try {
        convertor.ExtractPackedData();
    } catch (const tw::Exception&) {
    }
    convertor.SetPackedData(nullptr, false);
    return 0;
}
