// What a window shows on the screen, read back pixel by pixel, for the tests
// that check a window draws itself whole after it changed (a new layout, a
// new size, a maximize). The picture the test expects is never computed from
// the code under test: it is the same window after a repaint of everything
// it holds, which a window that forgot nothing must already have shown.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "ui/Application.h"

namespace tw::test {

struct ScreenShot {
    RECT Rect{};                 // where on the screen it was taken
    std::vector<uint32_t> Pixels; // rows from the top, 0x00RRGGBB
    int Width() const { return Rect.right - Rect.left; }
    int Height() const { return Rect.bottom - Rect.top; }
    bool operator==(const ScreenShot& o) const { return EqualRect(&Rect, &o.Rect) && Pixels == o.Pixels; }
};

// Whether the window, or a visible window inside it, still waits for a paint.
inline bool TreePaintPending(HWND h) {
    if (GetUpdateRect(h, nullptr, FALSE)) return true;
    bool pending = false;
    EnumChildWindows(
        h,
        [](HWND child, LPARAM found) -> BOOL {
            if (IsWindowVisible(child) && GetUpdateRect(child, nullptr, FALSE)) *reinterpret_cast<bool*>(found) = true;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&pending));
    return pending;
}

// The window's rectangle as the screen shows it now (the part on the screen).
inline ScreenShot TakeScreenShot(HWND h) {
    ScreenShot shot;
    RECT r{};
    GetWindowRect(h, &r);
    const RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    IntersectRect(&shot.Rect, &r, &screen);
    const int w = shot.Width(), ht = shot.Height();
    if (w <= 0 || ht <= 0) return shot;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -ht;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    HDC screenDc = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screenDc);
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bmp && bits) {
        HGDIOBJ old = SelectObject(mem, bmp);
        BitBlt(mem, 0, 0, w, ht, screenDc, shot.Rect.left, shot.Rect.top, SRCCOPY);
        GdiFlush();
        const auto* p = static_cast<const uint32_t*>(bits);
        shot.Pixels.assign(p, p + size_t(w) * size_t(ht));
        for (uint32_t& px : shot.Pixels) px &= 0x00FFFFFF;
        SelectObject(mem, old);
    }
    if (bmp) DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screenDc);
    return shot;
}

// Runs the messages until no part of the window waits for a paint and the
// screen shows the same picture twice running: what the window drew has
// reached the screen. An empty picture when that never happens in time.
inline ScreenShot SettledScreenShot(HWND h, ULONGLONG waitMs = 30000) {
    const ULONGLONG end = GetTickCount64() + waitMs;
    ScreenShot last;
    bool have = false;
    while (GetTickCount64() < end) {
        Application->ProcessMessages();
        if (TreePaintPending(h)) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
            continue;
        }
        // An empty queue hands the painted pictures to the screen.
        Application->ProcessMessages();
        GdiFlush();
        ScreenShot now = TakeScreenShot(h);
        if (have && now == last && !TreePaintPending(h)) return now;
        last = std::move(now);
        have = true;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    ADD_FAILURE() << "the window never stopped painting";
    return ScreenShot();
}

// Everything the window holds painted again, frame and children too.
inline ScreenShot RepaintedScreenShot(HWND h) {
    RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    return SettledScreenShot(h);
}

// Writes a picture as a 32-bit bitmap file (for looking at a failure).
inline void SaveScreenShot(const ScreenShot& s, const std::string& path) {
    BITMAPFILEHEADER fh{};
    BITMAPINFOHEADER ih{};
    ih.biSize = sizeof(ih);
    ih.biWidth = s.Width();
    ih.biHeight = -s.Height();
    ih.biPlanes = 1;
    ih.biBitCount = 32;
    ih.biCompression = BI_RGB;
    const DWORD data = DWORD(s.Pixels.size() * 4);
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(ih);
    fh.bfSize = fh.bfOffBits + data;
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(&fh, sizeof(fh), 1, f);
        std::fwrite(&ih, sizeof(ih), 1, f);
        std::fwrite(s.Pixels.data(), 1, data, f);
        std::fclose(f);
    }
}

// The screen after a change against the same window painted whole: equal, or
// how many pixels differ and where (both pictures are kept in the temporary
// folder under `name` for a look).
inline ::testing::AssertionResult SameScreen(const ScreenShot& after, const ScreenShot& whole, const std::string& name) {
    if (after.Pixels.empty() || whole.Pixels.empty()) return ::testing::AssertionFailure() << name << ": no picture";
    if (!EqualRect(&after.Rect, &whole.Rect))
        return ::testing::AssertionFailure() << name << ": the window moved while it was painted again";
    size_t differ = 0;
    RECT box{after.Width(), after.Height(), -1, -1};
    POINT first{-1, -1};
    for (int y = 0; y < after.Height(); ++y)
        for (int x = 0; x < after.Width(); ++x) {
            const size_t i = size_t(y) * size_t(after.Width()) + size_t(x);
            if (after.Pixels[i] == whole.Pixels[i]) continue;
            if (differ++ == 0) first = POINT{after.Rect.left + x, after.Rect.top + y};
            box.left = std::min<LONG>(box.left, x);
            box.top = std::min<LONG>(box.top, y);
            box.right = std::max<LONG>(box.right, x + 1);
            box.bottom = std::max<LONG>(box.bottom, y + 1);
        }
    if (differ == 0) return ::testing::AssertionSuccess();
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = temp;
    SaveScreenShot(after, folder + name + "-after.bmp");
    SaveScreenShot(whole, folder + name + "-repainted.bmp");
    // The window that shows the first wrong pixel.
    wchar_t cls[64] = {}, text[64] = {};
    if (HWND under = WindowFromPoint(first)) {
        GetClassNameW(under, cls, 63);
        GetWindowTextW(under, text, 63);
    }
    char where[400];
    std::snprintf(where, sizeof where, "(%ld,%ld)-(%ld,%ld), the first in a window %ls \"%ls\"", box.left, box.top,
                  box.right, box.bottom, cls, text);
    return ::testing::AssertionFailure() << name << ": " << differ << " of " << after.Pixels.size()
                                         << " pixels differ from the window painted whole, within " << where
                                         << " (pictures in " << folder << ")";
}

// Puts the window through the changes of size a user makes (larger and
// smaller by a corner, maximized, restored) and checks after each that the
// screen shows what a repaint of everything in it shows. The window ends at
// the size it had.
inline void ExpectEveryNewSizePaintedWhole(HWND h, const std::string& name) {
    // No hint, no hot control: the pointer rests off the window.
    RECT start{};
    GetWindowRect(h, &start);
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    RepaintedScreenShot(h);
    auto check = [&](const std::string& what, UINT showCmd, int dw, int dh) {
        SCOPED_TRACE(name + " " + what);
        if (showCmd) {
            ShowWindow(h, int(showCmd));
        } else {
            // As the system's size loop does it for a drag of the corner.
            SendMessageW(h, WM_ENTERSIZEMOVE, 0, 0);
            RECT r{start.left, start.top, start.right + dw, start.bottom + dh};
            SendMessageW(h, WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&r));
            SetWindowPos(h, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
            SendMessageW(h, WM_EXITSIZEMOVE, 0, 0);
        }
        const ScreenShot after = SettledScreenShot(h);
        const ScreenShot whole = RepaintedScreenShot(h);
        EXPECT_TRUE(SameScreen(after, whole, name + "-" + what));
        // The picture to compare with is a steady one.
        EXPECT_TRUE(SameScreen(RepaintedScreenShot(h), whole, name + "-" + what + "-again"));
    };
    check("larger", 0, 60, 40);
    check("smaller", 0, -20, -10);
    check("maximized", SW_MAXIMIZE, 0, 0);
    check("restored", SW_RESTORE, 0, 0);
    SetWindowPos(h, nullptr, start.left, start.top, start.right - start.left, start.bottom - start.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SettledScreenShot(h);
}

} // namespace tw::test
