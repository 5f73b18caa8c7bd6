#pragma once
// Background gradients of skin sections: the GRADIENTDATA text parsed once
// when a skin loads, painted into a picture whenever a control is drawn.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "base/PixelView.h"
#include "skin/engine/common/SkinUtils.h"

namespace skin {

struct TsGradPie {
    TColor Color1 = 0;
    TColor Color2 = 0;
    uint8_t Percent = 0;
    int32_t Mode = 0;
};

// The steps of one gradient. Copies share the parsed steps: a skin's
// sections inherit their parent's gradient by the thousand, and each would
// otherwise hold a copy of its own. Reading never copies; changing a copy's
// steps (Steps) gives that copy steps of its own first, the others keep
// theirs.
class TsGradArray {
public:
    TsGradArray() = default;
    TsGradArray(std::initializer_list<TsGradPie> steps) : TsGradArray(std::vector<TsGradPie>(steps)) {}
    explicit TsGradArray(std::vector<TsGradPie> steps)
        : steps_(steps.empty() ? nullptr : std::make_shared<std::vector<TsGradPie>>(std::move(steps)))
    {
    }

    bool empty() const { return !steps_ || steps_->empty(); }
    size_t size() const { return steps_ ? steps_->size() : 0; }
    const TsGradPie& operator[](size_t i) const { return (*steps_)[i]; }
    const TsGradPie& front() const { return steps_->front(); }
    const TsGradPie& back() const { return steps_->back(); }
    const TsGradPie* begin() const { return steps_ ? steps_->data() : nullptr; }
    const TsGradPie* end() const { return steps_ ? steps_->data() + steps_->size() : nullptr; }

    std::vector<TsGradPie>& Steps()
    {
        if (!steps_) steps_ = std::make_shared<std::vector<TsGradPie>>();
        return Own();
    }
    void push_back(const TsGradPie& step) { Steps().push_back(step); }
    void clear() { steps_.reset(); }

private:
    std::vector<TsGradPie>& Own()
    {
        if (steps_.use_count() > 1) steps_ = std::make_shared<std::vector<TsGradPie>>(*steps_);
        return *steps_;
    }
    std::shared_ptr<std::vector<TsGradPie>> steps_;
};

// Values separated by ";", five to a step (the fifth is not read). A value
// that is not a decimal or "$" hexadecimal number raises EConvertError.
void PrepareGradArray(const std::string& text, TsGradArray& data);

// Paints modes 0 (bands downwards) and 1 (bands rightwards) into a 24- or
// 32-bit picture inside r, clipped to the picture. Mode 2 needs the
// platform's triangle fill: PaintGradTriangles on Windows.
void PaintGrad(const TPixelView& bmp, TRect r, const TsGradArray& data, int offsetX = 0, int offsetY = 0);

// The five vertices of mode 2 in order (corners and centre), each colour the
// Color1 of its step or of the vertex before it.
struct TsGradVertex {
    int X = 0, Y = 0;
    TColor Color = 0;
};
bool GradTriangleVertices(const TRect& r, const TsGradArray& data, TsGradVertex (&v)[5]);

#ifdef _WIN32
} // namespace skin
namespace tw {
class TBitmap;
}
namespace skin {
// Mode 2 into a bitmap's device context; nothing without GradientFill.
void PaintGradTriangles(tw::TBitmap& bmp, TRect r, const TsGradArray& data);
bool GradientFillAvailable();
#endif

} // namespace skin
