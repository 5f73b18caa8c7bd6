#include "tools/FileMergerForm.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "analysis/SettingsStore.h"
#include "base/Exceptions.h"
#include "base/StringList.h"
#include "base/SysUtils.h"
#include "base/WinText.h"
#include "tools/ToolControls.h"
#include "tools/ToolForms.h"
#include "tools/engine/DvrParts.h"
#include "tools/engine/ToolFiles.h"
#include "ui/Application.h"

namespace tw {

TFileMergerForm* FileMergerForm = nullptr;

namespace {

enum {
    mtSourceLabel, mtDestLabel, mtAdd, mtRemove, mtCancel, mtInvalid1, mtInvalid2, mtInvalid3, mtCut1, mtCut2,
    mtNoSpace, mtProgress, mtAbort, mtNoSources, mtNoDestination
};
// German, English.
const char* const kTexts[][2] = {
    {"Quelldateien", "Source files"},
    {"Zieldateiname", "Destination file name"},
    {"Datei hinzuf\xC3\xBCgen", "Add file"},
    {"Datei entfernen", "Remove file"},
    {"Abbrechen", "Cancel"},
    {"Datei ", "The File "},
    {" scheint keine TS-Struktur zu haben!", " seems not to have a valid TS structure!"},
    {"Datei trotzdem hinzuf\xC3\xBCgen?", "Add the file nevertheless?"},
    {"Datei beginnt nicht mir g\xC3\xBCltigen TS-Daten!", "File is not starting with valid TS data!"},
    {"Datei auf TS-Packetgr\xC3\xB6\xC3\x9F" "e zurechtschneiden?", "Cutting file to valid TS packet size?"},
    {"Nicht genug Speicherplatz frei!", "Not enought disk space!"},
    {"Fortschritt", "Progress"},
    {"Abbrechen", "Abort"},
    {"Keine Quelldateien zum Zusammenf\xC3\xBCgen!", "No source files to merge!"},
    {"Kein Zieldateiname angegeben!", "No destination file name given!"},
};

// How far the mouse must move with the button held before a press in the
// source list becomes a drag: a click that wobbles a little stays a click.
constexpr int kDragThreshold = 5;

// The drag cursor: the arrow carrying a dotted box, made once for the run.
HCURSOR DragCursor()
{
    static const HCURSOR cursor = [] {
        constexpr int kSize = 32;
        // '#' black, 'o' white, ' ' transparent.
        static const char* const kArrow[] = {
            "#",          "##",         "#o#",        "#oo#",      "#ooo#",     "#oooo#",
            "#ooooo#",    "#oooooo#",   "#ooooooo#",  "#oooooooo#", "#ooooo#####", "#oo#oo#",
            "#o# #oo#",   "##  #oo#",   "#    #oo#",  "     #oo#", "      ##",
        };
        char pixels[kSize][kSize];
        for (auto& row : pixels)
            for (char& c : row)
                c = ' ';
        for (size_t y = 0; y < std::size(kArrow); ++y)
            for (size_t x = 0; kArrow[y][x]; ++x)
                pixels[y][x] = kArrow[y][x];
        // The box below and right of the arrow's tip, its edge dotted.
        constexpr int kLeft = 9, kTop = 17, kRight = 21, kBottom = 26;
        for (int y = kTop; y <= kBottom; ++y)
            for (int x = kLeft; x <= kRight; ++x)
                if ((y == kTop || y == kBottom || x == kLeft || x == kRight) && pixels[y][x] == ' ')
                    pixels[y][x] = (x + y) % 2 ? 'o' : '#';
        BYTE andMask[kSize * kSize / 8] = {}, xorMask[kSize * kSize / 8] = {};
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x) {
                const int byte = (y * kSize + x) / 8;
                const BYTE bit = static_cast<BYTE>(0x80 >> (x % 8));
                if (pixels[y][x] == ' ')
                    andMask[byte] |= bit;
                else if (pixels[y][x] == 'o')
                    xorMask[byte] |= bit;
            }
        return CreateCursor(GetModuleHandleW(nullptr), 0, 0, kSize, kSize, andMask, xorMask);
    }();
    return cursor ? cursor : LoadCursorW(nullptr, IDC_ARROW);
}

TPoint MousePoint(LPARAM lp) { return TPoint(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))); }

} // namespace

// ---------------------------------------------------------------- progress

TMergeProgressForm::TMergeProgressForm(TComponent* owner) : TForm(owner)
{
    SetName("MergeProgressForm");
    SetBorderStyle(bsDialog);
    SetBorderIcons(0);
    SetPosition(poOwnerFormCenter);
    SetClientSize(360, 140);
    sLabel1 = Place<skin::TsLabel>(this, this, "sLabel1", 10, 8, 340, 16, "Working");
    Place<skin::TsLabel>(this, this, "sLabel2", 10, 30, 100, 16, "File");
    sGauge2 = Place<skin::TsGauge>(this, this, "sGauge2", 10, 46, 340, 18);
    Place<skin::TsLabel>(this, this, "sLabel3", 10, 68, 100, 16, "Total");
    sGauge1 = Place<skin::TsGauge>(this, this, "sGauge1", 10, 84, 340, 18);
    for (skin::TsGauge* g : {sGauge1, sGauge2}) {
        g->SetMinValue(0);
        g->SetMaxValue(100);
        g->SetSuffix("%");
    }
    sBitBtn1 = PlaceButton(this, this, "sBitBtn1", 135, 108, "Abort", mrNone);
    sBitBtn1->OnClick = [this](TObject*) { CancelFlag = true; };
    OnShow = [this](TObject*) { CancelFlag = false; };
    LoadTree();
    JoinToolForm(this);
}

// ---------------------------------------------------------------- merger

TFileMergerForm::TFileMergerForm(TComponent* owner) : TForm(owner)
{
    SetName("FileMergerForm");
    SetCaption("File Merger");
    SetPosition(poScreenCenter);
    SetClientSize(520, 300);
    Constraints().MinWidth = 511;
    Constraints().MinHeight = 250;
    SetKeyPreview(true);

    sListBox1 = PlaceBound<skin::TsAlphaListBox>(this, this, "sListBox1", 10, 26, 400, 168, "Source Files",
                                                 skin::sclTopLeft);
    sBitBtn3 = PlaceButton(this, this, "sBitBtn3", 420, 26, "Add File", mrNone);
    sBitBtn4 = PlaceButton(this, this, "sBitBtn4", 420, 58, "Remove File", mrNone);
    sBitBtn4->SetEnabled(false);
    sFilenameEdit1 = PlaceBound<skin::TsFilenameEdit>(this, this, "sFilenameEdit1", 10, 222, 370, 22,
                                                      "Destination file name", skin::sclTopLeft);
    sFilenameEdit1->SetMaxLength(255);
    sFilenameButton = Place<skin::TsBitBtn>(this, this, "sFilenameButton", 384, 221, 26, 24, "...");
    sBitBtn1 = PlaceButton(this, this, "sBitBtn1", 320, 262, "OK", mrNone);
    sBitBtn1->SetDefault(true);
    sBitBtn2 = PlaceButton(this, this, "sBitBtn2", 420, 262, "Cancel", mrCancel);
    // The list takes what a resize gives or takes; the buttons keep to their
    // corners and the destination to the bottom, so nothing is cut off at the
    // least size.
    sListBox1->SetAnchors(akLeft | akTop | akRight | akBottom);
    sBitBtn3->SetAnchors(akTop | akRight);
    sBitBtn4->SetAnchors(akTop | akRight);
    sFilenameEdit1->SetAnchors(akLeft | akRight | akBottom);
    sFilenameButton->SetAnchors(akRight | akBottom);
    sBitBtn1->SetAnchors(akRight | akBottom);
    sBitBtn2->SetAnchors(akRight | akBottom);
    // The list's empty area is painted again at the list's new size (the
    // owner-drawn list clears only where it draws items).
    OnResize = [this](TObject*) {
        if (sListBox1->HandleAllocated())
            RedrawWindow(sListBox1->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
    };

    sOpenDialog1 = new skin::TsOpenDialog(this);
    sOpenDialog1->SetName("sOpenDialog1");
    sOpenDialog1->SetOptions(ofHideReadOnly | ofAllowMultiSelect | ofFileMustExist | ofEnableSizing);
    AutoStartFileTimer = new TThreadedTimer(this);
    AutoStartFileTimer->SetName("AutoStartFileTimer");
    AutoStartFileTimer->SetInterval(500);
    AutoStartFileTimer->OnTimer = [this](TObject*) {
        AutoStartFileTimer->SetEnabled(false);
        // An index another program took meanwhile says so; the window stays
        // usable for adding files by hand.
        try {
            AddDvrRecording(RecordingIndexPath);
        } catch (const Exception& e) {
            ToolMessage("WARNING", e.Message(), mtWarning);
        }
        sBitBtn1->SetEnabled(true);
        sBitBtn3->SetEnabled(true);
    };

    sBitBtn1->OnClick = [this](TObject* s) { sBitBtn1Click(s); };
    sBitBtn3->OnClick = [this](TObject* s) { sBitBtn3Click(s); };
    sBitBtn4->OnClick = [this](TObject* s) { sBitBtn4Click(s); };
    sFilenameButton->OnClick = [this](TObject*) {
        skin::TsSaveDialog dlg(nullptr);
        dlg.SetFileName(sFilenameEdit1->Text());
        if (dlg.Execute())
            TakeDestination(dlg.FileName());
    };
    sListBox1->OnClick = [this](TObject*) { sBitBtn4->SetEnabled(sListBox1->ItemIndex() >= 0); };
    // The drag sees the list's mouse messages before the list does: once a
    // drag is armed the list must not follow the mouse with its selection.
    listProc_ = sListBox1->WindowProc;
    sListBox1->WindowProc = [this](TMessage& m) {
        if (!ListDragMessage(m))
            CallListProc(m);
    };
    OnKeyDown = [this](TObject*, WORD& key, TShiftState) {
        if (key == VK_ESCAPE && drag_ == TListDrag::Dragging) {
            // Escape ends the drag, not the window.
            CancelListDrag();
            key = 0;
        } else if (key == VK_DELETE && sBitBtn4->Enabled() && !sFilenameEdit1->Focused()) {
            sBitBtn4Click(sBitBtn4);
            key = 0;
        } else if (key == VK_ESCAPE && sBitBtn2->Enabled()) {
            SetModalResult(mrCancel);
            key = 0;
        }
    };
    OnShow = [this](TObject*) {
        if (RecordingIndexPath.empty())
            return;
        sBitBtn1->SetEnabled(false);
        sBitBtn3->SetEnabled(false);
        AutoStartFileTimer->SetEnabled(true);
    };
    LoadTree();
    JoinToolForm(this);
}

TFileMergerForm::~TFileMergerForm()
{
    AutoStartFileTimer->SetEnabled(false);
    // The list outlives this part of the window: its messages go straight
    // to it again.
    sListBox1->WindowProc = listProc_;
    if (FileMergerForm == this)
        FileMergerForm = nullptr;
}

std::string TFileMergerForm::MergerText(int id) const { return kTexts[id][German ? 0 : 1]; }

void TFileMergerForm::ResetMerger()
{
    sListBox1->Clear();
    table_.Clear();
    sFilenameEdit1->SetText("");
    CutMode = false;
    CutQuestionAsked = false;
    sBitBtn4->SetEnabled(false);
    BoundLabelOf(sListBox1)->SetCaption(MergerText(mtSourceLabel));
    BoundLabelOf(sFilenameEdit1)->SetCaption(MergerText(mtDestLabel));
    sBitBtn3->SetCaption(MergerText(mtAdd));
    sBitBtn4->SetCaption(MergerText(mtRemove));
    sBitBtn2->SetCaption(MergerText(mtCancel));
}

std::vector<std::string> TFileMergerForm::MergeOrder()
{
    std::vector<std::string> order;
    for (int i = 0; i < sListBox1->Items().Count(); ++i)
        order.push_back(sListBox1->Items().Get(i));
    return order;
}

void TFileMergerForm::AddFile(const std::string& fileName)
{
    const TMergeSource s = ProbeMergeSource(fileName);
    if (s.PacketSize < 1 &&
        MessageDlg(MergerText(mtInvalid1) + ExtractFileName(fileName) + MergerText(mtInvalid2) + "\r" +
                       MergerText(mtInvalid3),
                   mtConfirmation, mbYesNo) != mrYes)
        return;
    AddMergeSource(s);
}

void TFileMergerForm::AddFiles(std::vector<std::string> fileNames)
{
    TStringList sorted;
    sorted.SetSorted(true);
    for (const std::string& n : fileNames)
        sorted.Add(n);
    for (int i = 0; i < sorted.Count(); ++i)
        AddFile(sorted[i]);
}

void TFileMergerForm::AddMergeSource(const TMergeSource& source)
{
    if (sListBox1->Items().Count() >= 1 && sFilenameEdit1->Text().empty())
        sFilenameEdit1->SetText(MergedDestinationName(source.FileName));
    if (table_.Add(source))
        sListBox1->Items().Add(source.FileName);
    sListBox1->Invalidate();
    Application->ProcessMessages();
    if (!CutQuestionAsked && source.SyncOffset >= 1) {
        CutQuestionAsked = true;
        if (MessageDlg(MergerText(mtCut1) + "\r" + MergerText(mtCut2), mtConfirmation, mbYesNo) == mrYes)
            CutMode = true;
    }
}

void TFileMergerForm::AddDvrRecording(const std::string& indexPath)
{
    const std::string title = ReadDvrInfoTitle(indexPath);
    if (title.empty())
        return;
    const std::string folder = ExtractFilePath(indexPath);
    const int parts = CountDvrParts(folder);
    for (int i = 0; i < parts; ++i) {
        sFilenameEdit1->SetText(DvrRecordingDestination(indexPath, title));
        AddFile(folder + DvrPartFileName(i));
    }
}

void TFileMergerForm::sBitBtn3Click(TObject*)
{
    if (!sOpenDialog1->Execute())
        return;
    const std::vector<std::string>& files = sOpenDialog1->Files();
    if (files.size() == 1) {
        // A title read from an index that cannot be opened reaches the user
        // as a message, not as an exception through the window.
        std::string title;
        try {
            title = ReadDvrInfoTitle(files[0]);
        } catch (const std::exception&) {
        }
        if (!title.empty())
            AddDvrRecording(files[0]);
        else
            AddFile(files[0]);
    } else {
        AddFiles(files);
    }
}

void TFileMergerForm::sBitBtn4Click(TObject*)
{
    const int i = sListBox1->ItemIndex();
    if (i < 0)
        return;
    table_.RemoveMergeSource(sListBox1->Items().Get(i));
    sListBox1->Items().Delete(i);
    const int n = sListBox1->Items().Count();
    if (n == 0) {
        sBitBtn4->SetEnabled(false);
        return;
    }
    sListBox1->SetItemIndex(std::min(i, n - 1));
}

void TFileMergerForm::MoveListItem(int pressX, int pressY, int dropX, int dropY)
{
    const int from = sListBox1->ItemAtPos(TPoint{pressX, pressY}, true);
    const int to = sListBox1->ItemAtPos(TPoint{dropX, dropY}, true);
    if (from < 0 || to < 0 || from == to)
        return;
    const std::string name = sListBox1->Items().Get(from);
    sListBox1->Items().Delete(from);
    sListBox1->Items().Insert(to, name);
    sListBox1->SetItemIndex(to);
}

void TFileMergerForm::CallListProc(TMessage& m)
{
    if (listProc_)
        listProc_(m);
    else
        sListBox1->WndProc(m);
}

void TFileMergerForm::CancelListDrag()
{
    // The button is still down: the rest of the press is the list's, without
    // a drop.
    drag_ = TListDrag::Cancelled;
    ::SetCursor(LoadCursorW(nullptr, IDC_ARROW));
}

bool TFileMergerForm::ListDragMessage(TMessage& m)
{
    switch (m.Msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        // The list selects the pressed item and holds the mouse; the press
        // may then become a drag.
        CallListProc(m);
        const TPoint p = MousePoint(m.LParam);
        pressX_ = p.X;
        pressY_ = p.Y;
        drag_ = TListDrag::Pressed;
        return true;
    }
    case WM_MOUSEMOVE: {
        if (drag_ == TListDrag::None)
            return false;
        if (!(m.WParam & MK_LBUTTON)) {
            // The button went up where this window did not see it.
            drag_ = TListDrag::None;
            return false;
        }
        m.Result = 0;
        if (drag_ == TListDrag::Cancelled)
            return true;
        const TPoint p = MousePoint(m.LParam);
        if (drag_ == TListDrag::Pressed) {
            if (std::abs(p.X - pressX_) <= kDragThreshold && std::abs(p.Y - pressY_) <= kDragThreshold)
                return true;
            drag_ = TListDrag::Dragging;
        }
        // Only the list itself takes the drop.
        ::SetCursor(sListBox1->ClientRect().Contains(p) ? DragCursor() : LoadCursorW(nullptr, IDC_NO));
        return true;
    }
    case WM_LBUTTONUP: {
        if (drag_ == TListDrag::None)
            return false;
        const bool drop = drag_ == TListDrag::Dragging;
        drag_ = TListDrag::None;
        // The list ends its press (releases the mouse, reports its click).
        CallListProc(m);
        if (drop) {
            const TPoint p = MousePoint(m.LParam);
            if (sListBox1->ClientRect().Contains(p))
                MoveListItem(pressX_, pressY_, p.X, p.Y);
            ::SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        }
        return true;
    }
    case WM_SETCURSOR:
        if (drag_ != TListDrag::Dragging)
            return false;
        m.Result = TRUE;
        return true;
    case WM_CAPTURECHANGED:
    case WM_CANCELMODE:
        // Another window took the mouse: the drag is over, nothing moves.
        if (drag_ == TListDrag::Dragging)
            ::SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        drag_ = TListDrag::None;
        return false;
    default:
        return false;
    }
}

int64_t TFileMergerForm::FreeSpace(const std::string& destination)
{
    if (FreeSpaceHook)
        return FreeSpaceHook(destination);
    // Asked of the destination's folder, so shares without a drive letter
    // are measured too.
    ULARGE_INTEGER free{};
    const std::wstring dir = Utf8ToWide(ExtractFilePath(destination));
    if (dir.empty() || !GetDiskFreeSpaceExW(dir.c_str(), &free, nullptr, nullptr))
        return -1;
    return static_cast<int64_t>(free.QuadPart);
}

bool TFileMergerForm::TakeDestination(const std::string& name)
{
    try {
        sFilenameEdit1->SetFileName(name);
        return true;
    } catch (const Exception& e) {
        ToolMessage("WARNING", e.what(), mtWarning);
        return false;
    }
}

void TFileMergerForm::EnableControls(bool on)
{
    for (TControl* c : std::initializer_list<TControl*>{sBitBtn1, sBitBtn2, sBitBtn3, sBitBtn4, sListBox1, sFilenameEdit1})
        c->SetEnabled(on);
    if (on)
        sBitBtn4->SetEnabled(sListBox1->ItemIndex() >= 0);
}

void TFileMergerForm::sBitBtn1Click(TObject*)
{
    const std::string dest = Trim(sFilenameEdit1->Text());
    const std::vector<std::string> order = MergeOrder();
    // An OK that cannot merge says why; silence would look like a merge
    // that never started for no reason.
    if (order.empty()) {
        ToolMessage("WARNING", MergerText(mtNoSources), mtWarning);
        return;
    }
    if (dest.empty()) {
        ToolMessage("WARNING", MergerText(mtNoDestination), mtWarning);
        return;
    }
    if (!TakeDestination(dest))
        return;
    const std::string refusal = CheckMergeDestination(dest, order, German);
    if (!refusal.empty()) {
        ToolMessage("WARNING", refusal, mtWarning);
        return;
    }
    if (FileExists(dest) &&
        MessageDlg(ReplaceFileQuestion(dest, German), mtConfirmation, mbYesNo) != mrYes)
        return;
    if (FreeSpace(dest) <= table_.TotalMergeSize()) {
        ToolMessage("WARNING", MergerText(mtNoSpace), mtWarning);
        return;
    }
    EnableControls(false);
    Progress = new TMergeProgressForm(this);
    Progress->SetCaption(MergerText(mtProgress));
    Progress->sBitBtn1->SetCaption(MergerText(mtAbort));
    Progress->Show();
    const TMergeReport r = MergeFiles(order, table_, dest, CutMode, *this);
    delete Progress;
    Progress = nullptr;
    // Whatever the merge ended with, the window is usable again.
    CutMode = false;
    CutQuestionAsked = false;
    EnableControls(true);
    if (r.Outcome == TMergeOutcome::MissingSource)
        MessageDlg(MergeMissingText(r.MissingFile, German), mtError, mbOK);
    if (r.Outcome == TMergeOutcome::Success)
        ToolMessage("FILEMERGINGSUCCESSFULLYCOMPLETED", MergeResultText(r, German), mtInformation);
    else
        ToolMessage("FILEMERGINGFAILED", MergeResultText(r, German), mtError);
    SetModalResult(mrOk);
}

void TFileMergerForm::SetAction(const std::string& text)
{
    if (!Progress)
        return;
    Progress->sLabel1->SetCaption(text);
    Application->ProcessMessages();
}

void TFileMergerForm::SetProgress(int filePercent, int totalPercent)
{
    if (!Progress)
        return;
    Progress->sGauge1->SetProgress(totalPercent);
    Progress->sGauge2->SetProgress(filePercent);
    Progress->sGauge1->Repaint();
    Progress->sGauge2->Repaint();
    Application->ProcessMessages();
}

bool TFileMergerForm::Cancelled() { return Progress && Progress->CancelFlag; }

} // namespace tw
