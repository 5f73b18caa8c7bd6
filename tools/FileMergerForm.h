// The file merger's window TFileMergerForm and its progress window
// TMergeProgressForm. The user collects sources (files, or all parts of a
// receiver recording), orders them by dragging, names the destination and
// merges; the merge itself is tools/engine/FileMerger.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "analysis/ThdTimer.h"
#include "tools/engine/FileMerger.h"
#include "skin/controls/sAlphaListBox.h"
#include "skin/controls/sButtons.h"
#include "skin/controls/sDialogs.h"
#include "skin/controls/sFileNameEdit.h"
#include "skin/controls/sGauge.h"
#include "skin/controls/sLabel.h"
#include "ui/Forms.h"

namespace tw {

class TMergeProgressForm : public TForm {
public:
    explicit TMergeProgressForm(TComponent* owner);
    skin::TsLabel* sLabel1; // the current action
    skin::TsGauge* sGauge2; // this file, %, under "File"
    skin::TsGauge* sGauge1; // the whole merge, %, under "Total"
    skin::TsBitBtn* sBitBtn1;
    // Cleared when the window shows, set by the cancel button.
    bool CancelFlag = false;
};

class TFileMergerForm : public TForm, private IMergeHost {
public:
    explicit TFileMergerForm(TComponent* owner);
    ~TFileMergerForm() override;

    // The list and the destination carry their captions in bound labels.
    skin::TsAlphaListBox* sListBox1;
    skin::TsBitBtn* sBitBtn3; // add
    skin::TsBitBtn* sBitBtn4; // remove
    skin::TsFilenameEdit* sFilenameEdit1;
    skin::TsBitBtn* sFilenameButton; // browse for the destination
    skin::TsBitBtn* sBitBtn1; // OK
    skin::TsBitBtn* sBitBtn2; // Cancel
    skin::TsOpenDialog* sOpenDialog1;
    TThreadedTimer* AutoStartFileTimer;
    TMergeProgressForm* Progress = nullptr; // only while merging

    bool German = false;
    bool CutMode = false;
    bool CutQuestionAsked = false;
    // An "info.dvr" handed over by the main window; empty otherwise.
    std::string RecordingIndexPath;
    // Stands in for the disk where a test needs a full one: the free bytes
    // for a destination (unset: asked of the system).
    static inline std::function<int64_t(const std::string&)> FreeSpaceHook;

    const TMergeSourceTable& Sources() const { return table_; }
    // The list in merge order.
    std::vector<std::string> MergeOrder();

    void ResetMerger();
    // Probes and adds one file (with the invalid-file and cut questions).
    void AddFile(const std::string& fileName);
    // Several files at once, sorted by name.
    void AddFiles(std::vector<std::string> fileNames);
    void AddDvrRecording(const std::string& indexPath);
    // The remove button (and the Delete key): the selected file leaves the
    // list and the table.
    void sBitBtn4Click(TObject* sender);
    // A drop in the list: the item under `press` moves to the place of the
    // item under `drop` (nothing unless both points lie on items).
    void MoveListItem(int pressX, int pressY, int dropX, int dropY);
    // True while a press in the list has become a drag.
    bool Dragging() const { return drag_ == TListDrag::Dragging; }
    // The OK button: checks, then the merge.
    void sBitBtn1Click(TObject* sender);
    void sBitBtn3Click(TObject* sender);

private:
    void AddMergeSource(const TMergeSource& source);
    void EnableControls(bool on);
    // The destination through the edit's file-name check: false, with the
    // user told why, for a name no file can have.
    bool TakeDestination(const std::string& name);
    // Free bytes on the destination's drive; -1 when unknown.
    static int64_t FreeSpace(const std::string& destination);
    std::string MergerText(int id) const;
    void SetAction(const std::string& text) override;
    void SetProgress(int filePercent, int totalPercent) override;
    bool Cancelled() override;

    // Reordering: the list drags automatically. A press arms the drag, the
    // mouse moved beyond the threshold with the button held starts it, and
    // the release over the list (the only place that takes the drop) moves
    // the pressed item there. Escape ends it where it is.
    enum class TListDrag { None, Pressed, Dragging, Cancelled };
    bool ListDragMessage(TMessage& m);
    void CallListProc(TMessage& m);
    void CancelListDrag();

    TMergeSourceTable table_;
    int pressX_ = -1, pressY_ = -1;
    TListDrag drag_ = TListDrag::None;
    TWndMethod listProc_;
};

extern TFileMergerForm* FileMergerForm;

} // namespace tw
