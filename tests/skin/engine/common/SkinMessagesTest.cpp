// The skin message's argument packing and the colour a partly transparent
// section answers.
#include <gtest/gtest.h>

#include "skin/engine/common/SkinMessages.h"

namespace skin {
namespace {

TEST(SkinMessages, CommandInHighWordArgumentInLowWord)
{
    EXPECT_EQ(SM_ALPHACMD, 0xA100u);
    const uintptr_t wp = SkinWParam(AC_SETACTIVESTATE, 1);
    EXPECT_EQ(wp, 0x00080001u);
    EXPECT_EQ(SkinCommandOf(wp), AC_SETACTIVESTATE);
    EXPECT_EQ(SkinArgOf(wp), 1);
    // Bits above the 32 of a WParam on 64-bit systems are not part of it.
    EXPECT_EQ(SkinCommandOf(SkinWParam(AC_QUERYCLIENTORIGIN)), AC_QUERYCLIENTORIGIN);
    EXPECT_EQ(SkinArgOf(SkinWParam(AC_QUERYCOLOR)), 0);
}

TEST(SkinMessages, TransparencyWeighsAgainst256)
{
    // 50 x 255 / 256 = 49 per channel, not half of 255.
    EXPECT_EQ(MixTransparentColor(0xFFFFFF, 0x000000, 50), 0x313131);
    EXPECT_EQ(MixTransparentColor(0x123456, 0xABCDEF, 0), 0xABCDEF);
    // 100 still keeps a trace of the section: (100 x (0 - 255) + 255 x 256) / 256 = 155.
    EXPECT_EQ(MixTransparentColor(0x000000, 0x0000FF, 100), 155);
    // Channels are mixed apart: a darker parent channel pulls down, a lighter one up.
    EXPECT_EQ(MixTransparentColor(0x00FF00, 0x800080, 128), 0x407F40);
    // Out-of-range weights stay in 0..255 per channel.
    EXPECT_EQ(MixTransparentColor(0xFFFFFF, 0x000000, 1000), 0xFFFFFF);
}

} // namespace
} // namespace skin
