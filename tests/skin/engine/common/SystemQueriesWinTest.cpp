// The utilities that ask the system (Windows only): a file's icon from the
// shell, the caption font, and waiting with the application's messages.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>

#include "base/SysUtils.h"
#include "skin/engine/common/SkinUtils.h"
#include "ui/Application.h"
#include "ui/Graphics.h"

namespace skin {

TEST(SystemQueries, FileIconsOnlyForFilesThatExist)
{
    char self[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    std::unique_ptr<tw::TIcon> icon = GetFileIcon(self, SHGFI_SMALLICON);
    ASSERT_NE(icon, nullptr);
    EXPECT_FALSE(icon->Empty());
    EXPECT_EQ(GetFileIcon(std::string(self) + ".missing", SHGFI_SMALLICON), nullptr);
    EXPECT_EQ(GetFileIcon("", 0), nullptr);
}

TEST(SystemQueries, TheCaptionFontIsTheSystemsOwn)
{
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0));
    EXPECT_EQ(CaptionFontHeight(), metrics.lfCaptionFont.lfHeight);
    const HFONT font = CreateCaptionFont();
    ASSERT_NE(font, nullptr);
    LOGFONTW made{};
    ASSERT_GT(GetObjectW(font, sizeof(made), &made), 0);
    EXPECT_EQ(made.lfHeight, metrics.lfCaptionFont.lfHeight);
    EXPECT_EQ(std::wstring(made.lfFaceName), std::wstring(metrics.lfCaptionFont.lfFaceName));
    DeleteObject(font);
}

namespace {

int g_seen = 0;
LRESULT CALLBACK Recorder(HWND wnd, UINT msg, WPARAM w, LPARAM l)
{
    if (msg == WM_APP + 7) ++g_seen;
    return DefWindowProcW(wnd, msg, w, l);
}

} // namespace

TEST(SystemQueries, WaitingHandsOnPendingMessagesAtLeastOnceAndForTheTimeGiven)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = Recorder;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TwWaitRecorder";
    RegisterClassW(&wc);
    const HWND wnd = CreateWindowW(L"TwWaitRecorder", L"", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(wnd, nullptr);
    g_seen = 0;
    PostMessageW(wnd, WM_APP + 7, 0, 0);
    WaitWithMessages(0);   // no time at all: still one round
    EXPECT_EQ(g_seen, 1);

    PostMessageW(wnd, WM_APP + 7, 0, 0);
    const uint64_t start = tw::GetTickCount64Ms();
    WaitWithMessages(60);
    EXPECT_GE(tw::GetTickCount64Ms() - start, 60u);
    EXPECT_EQ(g_seen, 2);
    DestroyWindow(wnd);
    UnregisterClassW(L"TwWaitRecorder", wc.hInstance);
}

} // namespace skin
#endif
