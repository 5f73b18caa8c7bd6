// The log memo: 100,000 lines appended and saved, text round trips, and the
// view following the end.
#include <gtest/gtest.h>

#include <windows.h>

#include "base/Streams.h"
#include "base/SysUtils.h"
#include "ui/Application.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

using namespace tw;

namespace {

class MemoTest : public ::testing::Test {
protected:
    void SetUp() override {
        Application->Initialize();
        form = std::make_unique<TForm>(nullptr);
        form->SetBounds(0, 0, 400, 300);
        memo = new TMemo(form.get());
        memo->SetParent(form.get());
        memo->SetAlign(alClient);
        memo->SetScrollBars(ssBoth);
        memo->Font().SetName("Courier New");
        form->Show();
    }
    std::unique_ptr<TForm> form;
    TMemo* memo = nullptr;
};

std::string TempName(const std::string& name) {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    int n = WideCharToMultiByte(CP_UTF8, 0, dir, -1, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, dir, -1, s.data(), n, nullptr, nullptr);
    return s + name;
}

} // namespace

TEST_F(MemoTest, HundredThousandLinesAppendAndSave) {
    const int kLines = 100000;
    for (int i = 0; i < kLines; ++i) {
        memo->Lines().Add(Format("TS  ERROR: line %06d PID $%04X", i, i & 0x1FFF));
        // Long passes let messages through now and then.
        if (i % 10000 == 0) Application->ProcessMessages();
    }
    Application->ProcessMessages();
    ASSERT_EQ(memo->Lines().Count(), kLines);
    EXPECT_EQ(memo->Lines()[kLines - 1], Format("TS  ERROR: line %06d PID $%04X", kLines - 1, (kLines - 1) & 0x1FFF));
    // The view follows the end of the log.
    EXPECT_EQ(memo->TopLine(), kLines - memo->VisibleLineCount());
    SCROLLINFO si{sizeof(si), SIF_RANGE | SIF_POS};
    GetScrollInfo(memo->Handle(), SB_VERT, &si);
    EXPECT_EQ(si.nMax, kLines - 1);

    std::string name = TempName("memo-ÄÖÜ-log.log");
    memo->Lines().SaveToFile(name);
    size_t expected = 0;
    for (int i = 0; i < kLines; ++i) expected += memo->Lines()[i].size() + 2;
    EXPECT_EQ(FileSizeOf(name), static_cast<int64_t>(expected));

    TMemo other(nullptr);
    other.Lines().LoadFromFile(name);
    EXPECT_EQ(other.Lines().Count(), kLines);
    EXPECT_EQ(other.Lines()[12345], memo->Lines()[12345]);
    RemoveFile(name);
}

TEST_F(MemoTest, TextSplitsAtEveryLineBreakAndJoinsWithCrLf) {
    memo->SetText("eins\r\nzwei\nDrei\rvier");
    ASSERT_EQ(memo->Lines().Count(), 4);
    EXPECT_EQ(memo->Lines()[2], "Drei");
    EXPECT_EQ(memo->Text(), "eins\r\nzwei\r\nDrei\r\nvier\r\n");
    memo->Lines().Add("a\r\nb");
    EXPECT_EQ(memo->Lines().Count(), 6);
    memo->Lines().Delete(0);
    EXPECT_EQ(memo->Lines()[0], "zwei");
    memo->Clear();
    EXPECT_EQ(memo->Lines().Count(), 0);
    EXPECT_THROW(memo->Lines().Delete(0), EListError);
}

TEST_F(MemoTest, ScrollingByKeysAndSelectionCopy) {
    for (int i = 0; i < 200; ++i) memo->Lines().Add("line " + std::to_string(i));
    Application->ProcessMessages();
    SendMessageW(memo->Handle(), WM_KEYDOWN, VK_HOME, 0);
    EXPECT_EQ(memo->TopLine(), 0);
    SendMessageW(memo->Handle(), WM_KEYDOWN, VK_NEXT, 0);
    EXPECT_EQ(memo->TopLine(), memo->VisibleLineCount());
    // A new line brings the view to the end, as an edit control's caret.
    memo->Lines().Add("new");
    Application->ProcessMessages();
    EXPECT_EQ(memo->TopLine(), memo->Lines().Count() - memo->VisibleLineCount());
    memo->SelectAll();
    EXPECT_EQ(memo->SelStartLine(), 0);
    EXPECT_EQ(memo->SelEndLine(), 200);
}

TEST_F(MemoTest, MaximizeAndRestoreKeepTheNewestLinesInViewUnlessScrolledAway) {
    for (int i = 0; i < 500; ++i) memo->Lines().Add("line " + std::to_string(i));
    Application->ProcessMessages();
    const int small = memo->VisibleLineCount();
    ShowWindow(form->Handle(), SW_MAXIMIZE);
    Application->ProcessMessages();
    ASSERT_GT(memo->VisibleLineCount(), small);
    EXPECT_EQ(memo->TopLine(), memo->Lines().Count() - memo->VisibleLineCount());
    ShowWindow(form->Handle(), SW_RESTORE);
    Application->ProcessMessages();
    ASSERT_EQ(memo->VisibleLineCount(), small);
    // The last line is the last one shown again, as while lines are added.
    EXPECT_EQ(memo->TopLine(), memo->Lines().Count() - small);
    SCROLLINFO si{sizeof(si), SIF_POS};
    GetScrollInfo(memo->Handle(), SB_VERT, &si);
    EXPECT_EQ(si.nPos, memo->TopLine());

    // A reader who scrolled back keeps his place through the same steps.
    memo->SetTopLine(100);
    ShowWindow(form->Handle(), SW_MAXIMIZE);
    Application->ProcessMessages();
    ShowWindow(form->Handle(), SW_RESTORE);
    Application->ProcessMessages();
    EXPECT_EQ(memo->TopLine(), 100);

    // A text filled before its window first shows (the change log) opens at
    // its beginning, and a new size does not send it to the end.
    TForm other(nullptr);
    other.SetBounds(0, 0, 300, 200);
    auto* text = new TMemo(&other);
    text->SetParent(&other);
    text->SetAlign(alClient);
    for (int i = 0; i < 500; ++i) text->Lines().Add("change " + std::to_string(i));
    other.Show();
    Application->ProcessMessages();
    ShowWindow(other.Handle(), SW_MAXIMIZE);
    Application->ProcessMessages();
    ShowWindow(other.Handle(), SW_RESTORE);
    Application->ProcessMessages();
    EXPECT_EQ(text->TopLine(), 0);
}
