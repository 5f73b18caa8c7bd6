#pragma once
// The adapters of the child windows of the system's dialogs that take the
// skin's colours: edits and lists (field colours, the skin's frame and
// scroll bars), combo boxes (their edit and list answered in the field
// colours), list and tree views (their colours set while adapted), and the
// nested dialog pages of the file dialogs (dialog colours for their
// children). Each gives its window everything back when it goes.
#include <windows.h>

#include <functional>
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

// An adapter whose window is repainted when the adapter takes it over and
// again, in the system's look, when the adapter gives it back; with its
// children when they take their colours from it.
class TacRepaintingWnd : public TacMainWnd {
public:
    TacRepaintingWnd(HWND wnd, TsSkinManager* manager, const std::string& section, const char* kind,
                     bool children = false);
    ~TacRepaintingWnd() override;

private:
    void Repaint() const;
    bool children_;
};

// A combo box: its edit and list ask it for their colours.
class TacComboBoxWnd : public TacRepaintingWnd {
public:
    TacComboBoxWnd(HWND wnd, TsSkinManager* manager, const std::string& section);

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

protected:
    void WindowEnds() override;

private:
    bool tree_;
    // CLR_NONE (the system's default) is a colour to give back as well.
    bool saved_ = false;
    COLORREF oldBack_ = 0, oldText_ = 0, oldTextBack_ = 0;
};

// A dialog inside a dialog (the pages of the file dialogs): the dialog's
// colours for itself and its children.
class TacTransPanelWnd : public TacRepaintingWnd {
public:
    TacTransPanelWnd(HWND wnd, TsSkinManager* manager, const std::string& section);

protected:
    LRESULT AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp) override;
    void PaintBackgroundPicture(HDC dc) override;

private:
    TacBrushes brushes_;
};

// The part of a skinned dialog's client under a child window (the dialog's
// colour when the dialog is not one of ours).
void PaintDialogBackground(const TsSkinManager* manager, HWND wnd, HDC dc);

// The section's picture over the part of the dialog's client under the
// window, the window's client size, into dc.
void PaintSectionPicture(TsSkinManager* manager, HWND wnd, const std::string& section, int state, HDC dc);

// Paints the whole client of a child the skin draws itself into a DC.
using TacPaintClient = std::function<void(HDC)>;

// The painting messages of such a child: WM_PAINT and WM_PRINTCLIENT
// painted, WM_ERASEBKGND answered without erasing (the picture covers the
// client). True when msg is one of them, its answer in result.
bool AnswerClientPaint(HWND wnd, UINT msg, WPARAM wp, const TacPaintClient& paint, LRESULT& result);

// Paints such a child at once and validates it: the system's controls draw
// over their client on state changes without a WM_PAINT.
void PaintClientNow(HWND wnd, const TacPaintClient& paint);

// The hot look of a button: on with the first mouse move over it (its
// leaving tracked), off when the mouse leaves; repainted on each change.
void TrackButtonHot(HWND wnd, UINT msg, bool& hot);

// A child that shows its dialog's skinned client behind it: labels, icons,
// links. The system still draws its text and picture over it.
class TacOnDialogWnd : public TacRepaintingWnd {
public:
    TacOnDialogWnd(HWND wnd, TsSkinManager* manager, const std::string& section, const char* kind);

protected:
    LRESULT AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp) override;
    void PaintBackgroundPicture(HDC dc) override;
};

class TacStaticWnd : public TacOnDialogWnd {
public:
    TacStaticWnd(HWND wnd, TsSkinManager* manager, const std::string& section)
        : TacOnDialogWnd(wnd, manager, section, "TacStaticWnd") {}
};

class TacIconWnd : public TacOnDialogWnd {
public:
    TacIconWnd(HWND wnd, TsSkinManager* manager, const std::string& section)
        : TacOnDialogWnd(wnd, manager, section, "TacIconWnd") {}
};

class TacLinkWnd : public TacOnDialogWnd {
public:
    TacLinkWnd(HWND wnd, TsSkinManager* manager, const std::string& section)
        : TacOnDialogWnd(wnd, manager, section, "TacLinkWnd") {}
};

// A check box or radio button of a dialog, painted from the skin: the box or
// radio glyph of the state, the caption in the section's font colour. Owner
// drawn and push-like buttons keep the system's picture.
class TacCheckBoxWnd : public TacOnDialogWnd {
public:
    TacCheckBoxWnd(HWND wnd, TsSkinManager* manager, const std::string& section);
    // Whether the skin paints this button (not owner drawn, not push-like).
    bool Painted() const;

protected:
    LRESULT AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void Paint(HDC dc);
    bool hot_ = false;
};

// A group box of a dialog: the system's caption, the skin's frame below it.
class TacGroupBoxWnd : public TacOnDialogWnd {
public:
    TacGroupBoxWnd(HWND wnd, TsSkinManager* manager, const std::string& section)
        : TacOnDialogWnd(wnd, manager, section, "TacGroupBoxWnd") {}
    // The height of the caption line (the frame starts in its middle).
    int CaptionHeight() const;

protected:
    LRESULT AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp) override;
    bool AnswerSkinCommand(uint16_t command, WPARAM wp, LPARAM lp, LRESULT& result) override;
};

// A tab control of a dialog: its background from the section; it answers
// that its check boxes are adapted too.
class TacTabControlWnd : public TacRepaintingWnd {
public:
    TacTabControlWnd(HWND wnd, TsSkinManager* manager, const std::string& section);

protected:
    LRESULT AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp) override;
    bool AnswerSkinCommand(uint16_t command, WPARAM wp, LPARAM lp, LRESULT& result) override;
    void PaintBackgroundPicture(HDC dc) override;
};

// An up-down control: two small buttons from the section with arrows in its
// font colour, the pressed one in the pressed state.
class TacSpinWnd : public TacRepaintingWnd {
public:
    TacSpinWnd(HWND wnd, TsSkinManager* manager, const std::string& section);
    int State = 0;
    // 0 none, 1 the up (or right) button, 2 the down (or left) one.
    int Pressed() const { return pressed_; }

protected:
    LRESULT AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void Paint(HDC dc);
    bool Horizontal() const;
    int PartAt(LPARAM lp) const;
    int pressed_ = 0;
};

// A tool bar of a dialog: the "BAR" section behind a bar that shows one,
// the dialog's client behind a flat one.
class TacToolBarWnd : public TacRepaintingWnd {
public:
    TacToolBarWnd(HWND wnd, TsSkinManager* manager, const std::string& section);

protected:
    LRESULT AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp) override;
    void PaintBackgroundPicture(HDC dc) override;
};

// A panel of the class library inside a foreign dialog: the "PANEL" section.
class TacDlgPanelWnd : public TacRepaintingWnd {
public:
    TacDlgPanelWnd(HWND wnd, TsSkinManager* manager, const std::string& section);

protected:
    LRESULT AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp) override;
};

// The adapter of the given class for a dialog's child, for the classes made
// here; nullptr for the others.
std::unique_ptr<TacMainWnd> MakeDialogChildAdapter(const char* kind, HWND wnd, TsSkinManager* manager,
                                                   const std::string& section);

} // namespace skin
