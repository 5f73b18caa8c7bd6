// While the packet writer waits for its write thread (a slow disk or share),
// the windows keep answering: a message posted to a window before Flush is
// handled inside Flush, without a message loop of the caller's.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <memory>
#include <thread>

#include "tests/support/TsBuilder.h"
#include "ts/TSPacketWriter.h"

using namespace tw;

namespace {

constexpr UINT kProbeMessage = WM_APP + 0x177;
int g_handled = 0;

LRESULT CALLBACK ProbeProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kProbeMessage) {
        ++g_handled;
        return 0;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

class SlowOutput : public TFileStream {
public:
    explicit SlowOutput(const std::string& name) : TFileStream(name, fmCreate) {}
    int64_t Write(const void* buffer, int64_t count) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return TFileStream::Write(buffer, count);
    }
};

} // namespace

TEST(WriterWait, PendingMessagesRunWhileFlushWaits) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = ProbeProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TarnwickWriterWaitProbe";
    RegisterClassW(&wc);
    HWND probe = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(probe, nullptr);
    test::TempFile file;
    TTSPacketWriter w(nullptr);
    w.SetPacketBufferSize(3);
    w.CreateOutputStream = [](const std::string& name) {
        return std::unique_ptr<TFileStream>(std::make_unique<SlowOutput>(name));
    };
    w.SetFileName(file.Name());
    w.SetActive(true);
    ASSERT_TRUE(w.Active());
    TTSPacketBuffer p;
    p.Length = 188;
    p.Data[0] = 0x47;
    p.Data[3] = 0x10;
    for (int i = 0; i < 3; ++i) w.QueuePacket(p, i);
    g_handled = 0;
    ASSERT_TRUE(PostMessageW(probe, kProbeMessage, 0, 0));
    EXPECT_TRUE(w.Flush());
    EXPECT_EQ(g_handled, 1);
    EXPECT_TRUE(w.Close());
    DestroyWindow(probe);
}
