#pragma once
// The adapters of the child windows of the system's dialogs that take the
// skin's colours: edits and lists (field colours, the skin's frame and
// scroll bars), combo boxes (their edit and list answered in the field
// colours), list and tree views (their colours set while adapted), and the
// nested dialog pages of the file dialogs (dialog colours for their
// children). Each gives its window everything back when it goes.
#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "skin/windows/acSBUtils.h"

namespace skin {

class TsSkinManager;

// Solid brushes by colour, owned (deleted with the owner): colour answers
// must hand out a brush that outlives the message.
class TacBrushes {
public:
    TacBrushes() = default;
    TacBrushes(const TacBrushes&) = delete;
    TacBrushes& operator=(const TacBrushes&) = delete;
    ~TacBrushes();
    HBRUSH Get(COLORREF color);

private:
    std::map<COLORREF, HBRUSH> brushes_;
};

// The skin's colours of a section: background and text.
struct TacSectionColors {
    COLORREF Back = 0;
    COLORREF Text = 0;
    bool Valid = false;
};
TacSectionColors SectionColors(const TsSkinManager* manager, const char* section);

// The answer to WM_CTLCOLOR* for a child of a skinned dialog: fields (edits,
// lists) in the "EDIT" colours, everything else (labels, check boxes, group
// boxes, the dialog itself) in the dialog's. 0 when the skin has no colours.
LRESULT SkinCtlColor(const TsSkinManager* manager, TacBrushes& brushes, UINT msg, HDC dc, HWND child);

// A field of a dialog: an edit, a list box or a combo box's drop-down list.
// Its frame is the section's, its bars the skin's.
class TacEditWnd : public TacScrollWnd {
public:
    TacEditWnd(HWND wnd, TsSkinManager* manager, const std::string& section, const char* kind = "TacEditWnd");
    ~TacEditWnd() override;

protected:
    LRESULT AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void PaintFrame();
};

// A combo box: its edit and list ask it for their colours.
class TacComboBoxWnd : public TacMainWnd {
public:
    TacComboBoxWnd(HWND wnd, TsSkinManager* manager, const std::string& section);
    ~TacComboBoxWnd() override;

protected:
    LRESULT AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    TacBrushes brushes_;
};

// A list view or a tree view: its own colours set to the skin's while
// adapted (the old ones kept and given back), the skin's scroll bars.
class TacViewWnd : public TacScrollWnd {
public:
    TacViewWnd(HWND wnd, TsSkinManager* manager, const std::string& section, bool tree);
    ~TacViewWnd() override;
    bool Tree() const { return tree_; }

private:
    bool tree_;
    // CLR_NONE (the system's default) is a colour to give back as well.
    bool saved_ = false;
    COLORREF oldBack_ = 0, oldText_ = 0, oldTextBack_ = 0;
};

// A dialog inside a dialog (the pages of the file dialogs): the dialog's
// colours for itself and its children.
class TacTransPanelWnd : public TacMainWnd {
public:
    TacTransPanelWnd(HWND wnd, TsSkinManager* manager, const std::string& section);
    ~TacTransPanelWnd() override;

protected:
    LRESULT AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    TacBrushes brushes_;
};

} // namespace skin
