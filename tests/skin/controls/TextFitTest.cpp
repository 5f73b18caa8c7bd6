// Texts of skinned status bars and panels that do not fit: cut with dots
// once, so every contour pass and the main text show the same cut text.
#include <string>
#include <vector>

#include "SkinnedControls.h"
#include "skin/controls/sPanel.h"
#include "skin/controls/sStatusBar.h"
#include "skin/engine/link/SkinText.h"

namespace skin {
namespace {

std::vector<std::wstring>* g_texts = nullptr;

int RecordText(HDC, const std::wstring& text, RECT*, UINT flags)
{
    if (g_texts && !(flags & DT_CALCRECT)) g_texts->push_back(text);
    return 1;
}

class TextFit : public test::SkinnedFormTest {
protected:
    void SetUp() override
    {
        SkinnedFormTest::SetUp();
        bar = new TsStatusBar(form.get());
        bar->SetParent(form.get());
        bar->AddPanel("Analysis of the recording is running", 70);
        bar->AddPanel("ok", 200);
        panel = new TsPanel(form.get());
        panel->SetParent(form.get());
        panel->SetBounds(10, 10, 60, 30);
        panel->SetCaption("A caption far too long for this panel");
        ShowForm();
        g_texts = &texts;
        SkinDrawText = RecordText;
    }
    void TearDown() override
    {
        SkinDrawText = saved;
        g_texts = nullptr;
        SkinnedFormTest::TearDown();
    }
    static bool CutFrom(const std::wstring& shown, const std::wstring& full)
    {
        return shown.size() > 3 && shown.size() < full.size() && shown.substr(shown.size() - 3) == L"..." &&
               full.compare(0, shown.size() - 3, shown, 0, shown.size() - 3) == 0;
    }
    int (*saved)(HDC, const std::wstring&, RECT*, UINT) = SkinDrawText;
    std::vector<std::wstring> texts;
    TsStatusBar* bar = nullptr;
    TsPanel* panel = nullptr;
};

TEST_F(TextFit, StatusPanelsAndPanelCaptionsEndInDots)
{
    tw::TBitmap picture(form->Width(), 40, tw::pf24bit);
    SendMessageW(bar->Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(picture.Canvas().Handle()), PRF_CLIENT);
    ASSERT_FALSE(texts.empty());
    const std::wstring full = L"Analysis of the recording is running";
    bool cut = false, whole = false;
    for (const std::wstring& t : texts) {
        EXPECT_NE(t, full);
        cut = cut || CutFrom(t, full);
        whole = whole || t == L"ok";
    }
    EXPECT_TRUE(cut);
    EXPECT_TRUE(whole);   // a text that fits stays as it is

    texts.clear();
    tw::TBitmap shot(60, 30, tw::pf24bit);
    SendMessageW(panel->Handle(), WM_PAINT, reinterpret_cast<WPARAM>(shot.Canvas().Handle()), 0);
    ASSERT_FALSE(texts.empty());
    for (const std::wstring& t : texts)
        EXPECT_TRUE(CutFrom(t, L"A caption far too long for this panel")) << std::string(t.begin(), t.end());
}

} // namespace
} // namespace skin
