#pragma once
// Set-ups the window tests share: forms skinned with the program's own skin,
// a system dialog whose children get their adapters, and a window's frame
// read back through WM_PRINT.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SkinTestControls.h"
#include "base/PixelView.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/effects/acGlow.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/windows/acDials.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/Consts.h"
#include "ui/Forms.h"

namespace skin::test {

// The library's texts of the system menu's items, set to one language for
// a test and given back afterwards.
class TSystemMenuTexts {
public:
    static constexpr tw::TStdText kIds[6] = {tw::stMenuRestore,  tw::stMenuMove,     tw::stMenuSize,
                                             tw::stMenuMinimize, tw::stMenuMaximize, tw::stMenuClose};
    TSystemMenuTexts()
    {
        for (int i = 0; i < 6; ++i)
            saved_[i] = tw::StdText(kIds[i]);
    }
    ~TSystemMenuTexts()
    {
        for (int i = 0; i < 6; ++i)
            tw::SetStdText(kIds[i], saved_[i]);
    }
    static void Set(const std::vector<std::string>& texts)
    {
        for (size_t i = 0; i < 6 && i < texts.size(); ++i)
            tw::SetStdText(kIds[i], texts[i]);
    }
    static std::vector<std::string> English()
    {
        return {"&Restore", "&Move", "&Size", "Mi&nimize", "Ma&ximize", "&Close"};
    }
    static std::vector<std::string> German()
    {
        return {"&Wiederherstellen", "Ver&schieben", "&Größe ändern", "Mi&nimieren", "Ma&ximieren", "&Schließen"};
    }

private:
    std::string saved_[6];
};

// What draw puts into a w x h 32-bit picture, a row of w pixels after the
// other, the top row first, each 0x00RRGGBB.
template <class Draw>
std::vector<uint32_t> CapturePixels(int w, int h, Draw draw)
{
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bmp);
    draw(dc);
    GdiFlush();
    std::vector<uint32_t> out(static_cast<const uint32_t*>(bits), static_cast<const uint32_t*>(bits) + size_t(w) * h);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bmp);
    for (uint32_t& p : out)
        p &= 0xFFFFFF;
    return out;
}

// The window's frame as WM_PRINT draws it, in window coordinates: w pixels
// a row, the top row first, each 0x00RRGGBB.
inline std::vector<uint32_t> PrintFrame(HWND wnd, int& w)
{
    RECT wr;
    GetWindowRect(wnd, &wr);
    w = wr.right - wr.left;
    return CapturePixels(w, wr.bottom - wr.top,
                         [&](HDC dc) { SendMessageW(wnd, WM_PRINT, reinterpret_cast<WPARAM>(dc), PRF_NONCLIENT); });
}

// A form of the class library with the caption and bounds, shown and its
// messages handled: with the form skinning installed it has its provider.
// The caller deletes it.
inline tw::TForm* ShowForm(const char* caption, int x, int y, int w, int h)
{
    auto* form = new tw::TForm(tw::Application);
    form->SetText(caption);
    form->SetBounds(x, y, w, h);
    form->Show();
    tw::Application->ProcessMessages();
    return form;
}

// Puts a stand-in for the layered-window update in place and the one before
// back however the test ends (the entry is global: a test that fails half
// way must not leave its stand-in to the next).
class TLayeredEntryScope {
public:
    explicit TLayeredEntryScope(TUpdateLayeredWindow (*entry)()) : saved_(GlowLayeredEntry) { GlowLayeredEntry = entry; }
    ~TLayeredEntryScope() { GlowLayeredEntry = saved_; }
    TLayeredEntryScope(const TLayeredEntryScope&) = delete;
    TLayeredEntryScope& operator=(const TLayeredEntryScope&) = delete;

private:
    TUpdateLayeredWindow (*saved_)();
};

} // namespace skin::test

#ifdef TW_SKIN_ARCHIVE
namespace skin::test {

// Forms skinned with the program's own skin: the skin loaded into manager
// (the default manager now) and the skinning of forms installed.
inline ::testing::AssertionResult StartFormSkinning(TsSkinManager& manager)
{
    tw::Application->Initialize();
    ::testing::AssertionResult loaded = LoadOwnSkin(manager);
    if (loaded)
        InstallFormSkinning();
    return loaded;
}

// Undoes StartFormSkinning. The window hook a new skin installed goes while
// the manager is still the default one (only the default manager removes
// it): left behind, it would catch the windows of the tests that follow.
inline void EndFormSkinning()
{
    if (DefaultManager)
        DefaultManager->UninstallSkinHook();
    UninstallFormSkinning();
    DefaultManager = nullptr;
}

// A form skinned with the program's own skin, shown and with its provider,
// while the layered-window updates of the glow and the extended border go to
// the entry the test gives (layered windows cannot be seen under Wine).
class LayeredFormTest : public ::testing::Test {
protected:
    LayeredFormTest(const char* caption, int w, int h, TUpdateLayeredWindow (*entry)())
        : caption_(caption), width_(w), height_(h), entry_(entry)
    {
    }
    void SetUp() override
    {
        savedEntry = GlowLayeredEntry;
        GlowLayeredEntry = entry_;
        ASSERT_TRUE(StartFormSkinning(manager));
        form = ShowForm(caption_, 100, 100, width_, height_);
        provider = FindProvider(form);
        ASSERT_NE(provider, nullptr);
    }
    void TearDown() override
    {
        delete form;
        EndFormSkinning();
        GlowLayeredEntry = savedEntry;
    }
    // The manager asks for extended borders; the built-in shadows are
    // resources of the program: a plain grey half-transparent picture
    // stands in for them here.
    void BordersOn()
    {
        auto shadow = std::make_shared<tw::TPixelImage>(24, 24, 32);
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x) {
                uint8_t* p = shadow->View().Pixel(x, y);
                p[0] = p[1] = p[2] = 40;
                p[3] = 128;
            }
        manager.ShadowActive = shadow;
        manager.ShadowInactive = shadow;
        manager.SetExtendedBorders(true);
        manager.UpdateExtBorderImages();
        SendSkinCommand(form->Handle(), AC_SKINLOADED, reinterpret_cast<LPARAM>(&manager));
        tw::Application->ProcessMessages();
    }

    TUpdateLayeredWindow (*savedEntry)() = nullptr;
    TsSkinManager manager;
    tw::TForm* form = nullptr;
    TsSkinProvider* provider = nullptr;

private:
    const char* caption_;
    int width_, height_;
    TUpdateLayeredWindow (*entry_)();
};

// A system dialog (class "#32770") the fixture's SetUp makes; Adapt gives
// it and its children their adapters the way the form skinning does.
class SystemDialogTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        provider.reset();
        if (dialog)
            DestroyWindow(dialog);
        DefaultManager = nullptr;
    }
    void Adapt()
    {
        provider = std::make_unique<TacProvider>();
        provider->Handle = dialog;
        provider->DialogAdapter = std::make_unique<TacDialogWnd>(dialog, &manager);
        ASSERT_TRUE(AdaptDialogChildren(*provider, dialog));
    }
    TsSkinManager manager;
    HWND dialog = nullptr;
    std::unique_ptr<TacProvider> provider;
};

} // namespace skin::test
#endif
