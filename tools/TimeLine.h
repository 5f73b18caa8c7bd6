// TsTimeLine: a recording's length as a skinned bar with a time scale under
// it and one block per cut slice, whose In and Out marks the mouse drags.
// The positions, marks and geometry live in TTimeLineModel; this control
// paints them through the skin and feeds it the mouse.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "tools/engine/TimeLineModel.h"
#include "ui/Controls.h"
#include "ui/Graphics.h"

namespace skin {
class TsCommonData;
}

namespace tw {

class TsTimeLine;
using TDataChangedEvent = std::function<void(TObject* sender, int SliceIndex, bool IsSliceIn, bool IsSliceOut)>;

enum TTimeLineBorderStyle { tlbsNone, tlbsSingle };

class TsTimeLine : public TGraphicControl {
public:
    explicit TsTimeLine(TComponent* owner);
    ~TsTimeLine() override;

    TDataChangedEvent OnChange;

    int64_t MinPCR() const { return model_.MinPCR(); }
    int64_t MaxPCR() const { return model_.MaxPCR(); }
    int64_t LengthPCR() const { return model_.LengthPCR(); }
    // Raise EInvalidOperation for a value past the other end.
    void SetMinPCR(int64_t v);
    void SetMaxPCR(int64_t v);

    skin::TsCommonData& SkinData() { return *skinData_; }
    TColor ForeColor() const { return foreColor_; }
    void SetForeColor(TColor c);
    TColor BackColor() const { return backColor_; }
    void SetBackColor(TColor c);
    TTimeLineBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TTimeLineBorderStyle s);
    const std::string& SliceBarSkin() const { return sliceBarSkin_; }
    void SetSliceBarSkin(const std::string& s);
    const std::string& SliceBarBackSkin() const { return sliceBarBackSkin_; }
    void SetSliceBarBackSkin(const std::string& s) { sliceBarBackSkin_ = s; }
    int SliceBarHeight() const { return model_.SliceBarHeight(); }
    void SetSliceBarHeight(int v);
    int SpaceH() const { return model_.SpaceH(); }
    void SetSpaceH(int v);

    // The slices: add one, read them, move their marks (an item keeps In
    // before Out and the change event follows).
    TSliceCollection& Slices() { return model_.Slices(); }
    const TSliceCollection& Slices() const { return model_.Slices(); }
    void SetSlices(const TSliceCollection& c) { model_.Slices().Assign(c); }
    // Range, geometry and hover state behind the control.
    TTimeLineModel& Model() { return model_; }
    const TTimeLineModel& Model() const { return model_; }

    int PcrToX(int64_t pcr) const { return model_.PcrToX(pcr); }
    TSliceHit HitTestSliceEdge(int x) const { return model_.HitTestSliceEdge(x); }
    void DragSliceEdge(int index, int x, bool isIn) { model_.DragSliceEdge(index, x, isIn); }

    void Loaded() override;
    void WndProc(TMessage& m) override;

protected:
    void Paint() override;
    void Resize() override;

private:
    void DoChange(int sliceIndex, bool isIn, bool isOut);
    void DrawSliceBar(TBitmap& bmp);
    void DrawPointer(TCanvas& c);
    // "h:mm" of a scale position, centred on its tick (never left of 0).
    void DrawTickLabel(TCanvas& c, int64_t pcr, int y, int fontSize);

    TTimeLineModel model_;
    std::unique_ptr<skin::TsCommonData> skinData_;
    TColor foreColor_ = clBlack;
    TColor backColor_ = clWhite;
    TTimeLineBorderStyle borderStyle_ = tlbsSingle;
    std::string sliceBarSkin_ = "TIMELINEB";
    std::string sliceBarBackSkin_ = "TIMELINEBBG";
};

} // namespace tw
