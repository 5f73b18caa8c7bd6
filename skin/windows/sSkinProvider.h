#pragma once
// The skin provider of a form: it holds the form's message procedure from
// the form's creation to its end, and while a skin is there it draws the
// frame and title bar from the skin, answers the hit test for the drawn
// frame, runs the drawn caption buttons and keeps the window region (with
// the skin's corner cut-outs) in step with the size. Without a skin every
// message goes on to the form's own procedure, so removing the skin gives
// the form its system frame back.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "skin/engine/data/FormGeometry.h"
#include "skin/engine/link/SkinnedForms.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/engine/painting/BorderPainting.h"
#include "skin/windows/acSBAnimation.h"
#include "ui/Application.h"
#include "ui/Forms.h"

namespace tw {
class TMenu;
}

namespace skin {

class TsSkinManager;
class TacBorderForm;
class TacCtrlAdapter;
class TacScrollWnd;
class TsSkinProvider;
class TsSystemMenu;

// A window or control with this Tag is never skinned from outside.
inline constexpr std::intptr_t acNoSkinTag = -98;

// Control-kind code of a form's skin link.
inline constexpr int32_t COC_TsSkinProvider = 224;

// What the provider asks of the system that tests must be able to set: Wine
// shows no desktop composition and answers an old Windows version.
struct TPlatformAnswers {
    std::function<bool()> CompositionEnabled;
    std::function<DWORD()> MajorVersion;
    // An entry of the compositor's library by name (nullptr when missing).
    std::function<FARPROC(const char* name)> DwmEntry;
};
TPlatformAnswers& PlatformAnswers();
// True only on version 6 and later with the compositor running.
bool DwmCompositionEnabled();
// Sets DWMWA_TRANSITIONS_FORCEDISABLED while composition runs.
void SetDwmTransitions(HWND wnd, bool off);
// The system's DwmSetWindowAttribute, looked up at run time: E_NOTIMPL on a
// system without it. (The system's own declaration, in dwmapi.h, is not
// included here; this one is called as skin::DwmSetWindowAttribute.)
HRESULT DwmSetWindowAttribute(HWND wnd, DWORD attribute, LPCVOID value, DWORD size);

// rmStandard: the system moves and sizes the form; rmBorder: the provider
// drags an outline and moves or sizes the window once, at the release.
enum TResizeMode { rmStandard, rmBorder };
// gmRightBottom: the skin's grip picture in the client's bottom-right corner.
enum TsGripMode { gmNone, gmRightBottom };

// The picture of the title icon; 0 for a size means "by the skin's title".
class TsTitleIcon {
public:
    std::shared_ptr<tw::TBitmap> Glyph;
    int Width = 0;
    int Height = 0;
};

class TsTitleButton;
using TTitleButtonMouseEvent = std::function<void(TsTitleButton& sender, int button, TPoint pos)>;

// One user button on the title bar, left of the fixed caption buttons.
class TsTitleButton {
public:
    std::string Name;
    std::string Hint;
    bool Enabled = true;
    bool Visible = true;
    bool UseSkinData = true;
    std::shared_ptr<tw::TBitmap> Glyph;
    TTitleButtonMouseEvent OnMouseDown;
    TTitleButtonMouseEvent OnMouseUp;

    // Kept by the provider.
    int State = 0;        // 0 normal, 1 hot, 2 pressed
    int ImageIndex = -1;  // the TITLEBUTTON mask, -1 without skin data
    TRect Rect;           // window coordinates
    int HitCode = 0;      // 1000 + index
    TacButtonFx Fx;       // its fade (freed by the provider)
};

class TsTitleButtons {
public:
    TsTitleButton& Add();
    int Count() const { return int(items_.size()); }
    TsTitleButton& Items(int i) { return *items_.at(size_t(i)); }
    const TsTitleButton& Items(int i) const { return *items_.at(size_t(i)); }
    void Clear() { items_.clear(); }
    // Copies the published part of every button of another collection.
    void Assign(const TsTitleButtons& other);

private:
    std::vector<std::unique_ptr<TsTitleButton>> items_;
};

// One of the four fixed caption buttons (minimize, maximize or restore,
// close, help): the code hit tests know it by, the picture it wears in the
// skin's GLOBALINFO section (-1 when the skin has none), whether that is
// the large set, where it lies on the title (window coordinates) and its
// fade and halo.
struct TsCaptionButton {
    int HitCode = 0;
    int ImageIndex = -1;
    bool Large = false;
    TRect Rect;
    TacButtonFx Fx;
};

// The message record the extended-border window hands over for its hit test.
using TacNCHitTest = std::function<void(tw::TMessage& msg)>;
// Asked for each control the control adapter would skin: it may refuse the
// control or name the section it is drawn with.
using TAddItemEvent = std::function<void(tw::TComponent* item, bool& canBeAdded, std::string& skinSection)>;

class TsSkinProvider : public tw::TComponent, public TSkinnedFormLink, private TacSBAnimationHost {
public:
    // The owner is the form (or a component on it). A second provider on a
    // form frees the older one: the newest wins. With applyNow the skin is
    // applied at once when there is one; the form-creation hook passes
    // false, as the form is not built yet.
    explicit TsSkinProvider(tw::TComponent* owner, bool applyNow = true);
    // The provider every form of the class library gets when it is made;
    // it skins the form as the manager's skinning rules allow.
    static TsSkinProvider* GiveToNewForm(tw::TCustomForm* form);
    ~TsSkinProvider() override;

    tw::TCustomForm* Form() const { return form_; }
    TsSkinManager* SkinManager() const;
    void SetSkinManager(TsSkinManager* m);
    // The form's skin link (section "FORM").
    TsCommonData& SkinData() { return *skinData_; }

    // The form takes the skin's colour while skinned; switched off it gets
    // the system's button face.
    bool UseGlobalColor() const { return useGlobalColor_; }
    void SetUseGlobalColor(bool u);
    bool DrawNonClientArea() const { return drawNonClient_; }
    void SetDrawNonClientArea(bool d);
    TResizeMode ResizeMode() const { return resizeMode_; }
    void SetResizeMode(TResizeMode m) { resizeMode_ = m; }
    tw::TAlignment CaptionAlignment() const { return captionAlignment_; }
    void SetCaptionAlignment(tw::TAlignment a);
    bool ShowAppIcon() const { return showAppIcon_; }
    void SetShowAppIcon(bool s);
    TsGripMode GripMode() const { return gripMode_; }
    void SetGripMode(TsGripMode g);
    const std::string& TitleSkin() const { return titleSkin_; }
    void SetTitleSkin(const std::string& s);
    bool ScreenSnap() const { return screenSnap_; }
    void SetScreenSnap(bool s) { screenSnap_ = s; }
    int SnapBuffer() const { return snapBuffer_; }
    void SetSnapBuffer(int b) { snapBuffer_ = b; }
    bool AllowExtBorders() const { return allowExtBorders_; }
    void SetAllowExtBorders(bool a);
    bool MakeSkinMenu() const { return makeSkinMenu_; }
    void SetMakeSkinMenu(bool m) { makeSkinMenu_ = m; }
    TsTitleIcon& TitleIcon() { return titleIcon_; }
    TsTitleButtons& TitleButtons() { return titleButtons_; }
    // The fades of the buttons that go end with them.
    void SetTitleButtons(const TsTitleButtons& b)
    {
        FreeButtonAnimations();
        titleButtons_.Assign(b);
    }
    // Asked by the extended-border window's hit test.
    TacNCHitTest OnExtHitTest;
    // Asked by the control adapter for each control.
    TAddItemEvent OnSkinItem;
    // The section of the menu line; empty: "MENULINE".
    const std::string& MenuLineSkin() const { return menuLineSkin_; }
    void SetMenuLineSkin(const std::string& s);
    // The menu line's section as painted: MenuLineSkin when the skin has it.
    std::string MenuLineSection() const;

    // Measures of the frame. Without an extended-border window the skin's
    // border width and title height are 0 and the system's metrics decide.
    int SkinBorderWidth() const;
    int SkinTitleHeight() const;
    int FormBorderWidth(bool useSkin) const;
    int TitleBarHeight(bool useSkin) const;
    // The title is raised to the system caption height (plus 4) while the
    // zoomed form has an extended border whose skin title is lower than that.
    bool TitleHeightRaised() const override { return titleRaised_; }
    // How the owner window closed or minimized this form last (WM_SHOWWINDOW
    // with SW_PARENTCLOSING): 1 normal, 2 iconic, 3 zoomed, 0 none.
    uint8_t WindowStateFlag() const { return windowState_; }
    // The hint window of a user title button while it is hot, else nullptr.
    tw::THintWindow* ButtonHint() const { return hint_.get(); }

    void Loaded() override;
    // A skin manager placed on the form becomes the skin link's; the skin
    // link forgets a manager that goes away. A windowed control that arrives
    // while the form is skinned gets its adapter at once.
    void Notification(tw::TComponent* component, tw::TOperation operation) override;

    // True while the skin is applied and the frame is drawn from it.
    bool Skinned() const { return skinned_; }
    // The hit code of the hot or pressed caption button (0 none).
    int HotCode() const { return hotCode_ < 0 ? 0 : hotCode_; }
    bool ButtonPressed() const { return pressed_; }
    // The caption buttons as last placed, in window coordinates.
    const TCaptionLayout& Buttons() const { return buttons_; }
    // The fade and halo of a caption button (hit code); nullptr for codes
    // that name no button.
    const TacButtonFx* ButtonFx(int code) const;
    // Ends and frees the fades of all caption buttons and the user title
    // buttons, and hides their halos.
    void FreeButtonAnimations();
    // WM_SETREDRAW FALSE not yet matched by TRUE.
    int RedrawSuspendCount() const { return redrawCount_; }
    // Holds the form still for a change made in several steps: its skin link
    // is marked active (the form hears AC_MOUSEENTER) and the window draws
    // nothing (WM_SETREDRAW FALSE) until the end, which takes the mark off
    // (AC_MOUSELEAVE) and lets it draw again (WM_SETREDRAW TRUE). What
    // changed meanwhile is for the caller to redraw.
    void BeginUpdateLock();
    void EndUpdateLock();
    // True while this provider drags an outline.
    bool Dragging() const;
    // The frame has been painted whole once; until then a window that keeps
    // a region of its own is asked before the provider sets one.
    bool FirstPainted() const { return firstPainted_; }
    // The main menu was asked to measure its line again since the last skin
    // application (the skin's menu font and heights may differ).
    bool MainMenuRefreshed() const { return mainMenuRefreshed_; }
    // Asks the main menu to lay out its line again once; true when it did.
    bool InitMainMenu();
    // Rows of the main menu line (at least 1), counted once per layout.
    int MenuRows() const;
    // The form shows a main menu line with at least one visible item.
    bool MenuVisible() const;
    // Hands a message to the control adapter (every adapted control).
    void NotifyAdapter(tw::TMessage& m);
    // The skin's cut-outs of the window as last collected (window coordinates).
    const TRectList& Cutouts() const { return cutouts_; }

    // The adapters of the skinned state: the control adapter over the form's
    // controls and the scroll adapter of the form's own window (nullptr
    // while unskinned).
    TacCtrlAdapter* CtrlAdapter() const { return ctrlAdapter_.get(); }
    TacScrollWnd* FormAdapter() const { return formAdapter_.get(); }
    // Makes the control adapter (when skinned) and runs it over the form.
    virtual void CreateCtrlAdapter();

    // Applies the skin (when there is one and the form is not excluded) and
    // paints the frame; RemoveSkin gives the form its system frame back.
    void ApplySkin();
    void RemoveSkin();

    // TSkinnedFormLink
    TsSkinManager* LinkManager() const override { return SkinManager(); }
    bool FormSkinned() const override { return skinned_; }
    void SetSkinChangeLock(bool locked) override { changeLocked_ = locked; }
    bool HasBorderWindow() const override { return borderForm_ != nullptr; }
    // The region with the skin's cut-outs for the current size; the
    // link's call redraws what the new region uncovers.
    void UpdateFormRegion() override { UpdateFormRegion(true); }
    // True when a region was set (or taken away).
    bool UpdateFormRegion(bool redraw);
    void UpdateBorderWindow(uint8_t alpha) override;
    HWND BorderWindow() const override;
    // The extended border's picture made again; its size (0 by 0 without
    // a border window).
    SIZE PaintAll() override;
    void RestoreBorderRegion() override;
    void LinkSectionChanged() override;
    void LinkManagerChanged(uint16_t command, TsSkinManager* manager) override;

    // The extended border (a layered window around the form) while the
    // manager asks for it, the form has a drawn title of its own, no parent
    // and extended borders are allowed; nullptr otherwise.
    TacBorderForm* BorderForm() const { return borderForm_.get(); }
    void SetExtBorders(bool on);
    // The margins of the extended border; empty without one.
    TRect ExtBorderMargins() const;
    // WS_SYSMENU is taken off while the frame is drawn (the system then
    // draws no caption buttons of its own) and given back with the skin.
    bool SysMenuStyleRemoved() const { return sysMenuRemoved_; }
    void SetSysMenuStyle(bool active);
    // The system menu at a screen point (the skinned one when there is).
    void PopupSystemMenu(POINT screen);
    HRGN AnimationRegion() override;

    // The fade-in time of this form when it is shown: the manager's form-show
    // time for the sizeable and single borders, the dialog-show time for the
    // others; 0 when it is not shown animated.
    uint32_t ShowAnimationTime() const;

    // The client background (sSkinProviderClient.cpp). The client shows the
    // client part of the form's picture (the FORM section's texture and
    // gradient), so that the skinned controls that take their parent's
    // background see the same picture behind them; a section without a
    // picture fills it with FormColor.
    // Paints the background and the graphic controls into a DC whose origin
    // is the client's top-left; with notify the windowed children take the
    // new background too.
    void PaintClient(HDC dc, bool notify);
    // WM_ERASEBKGND (nullptr: a DC of the window is taken).
    void EraseBackground(HDC dc);
    // WM_PAINT: the background, OnPaint and the graphic controls, drawn off
    // screen and copied once.
    void PaintForm(tw::TMessage& m);
    // The colour of the client without a picture: the section's HOTCOLOR
    // while the form is active, its COLOR otherwise; the form's own colour
    // when it keeps a custom one or no skin is applied.
    TColor FormColor() const;
    // Where the client starts in the form's picture (window coordinates).
    int ClientOriginX() const;
    int ClientOriginY() const;
    // Copies a 60-pixel strip of the picture at the right end of the menu
    // line, a menu row and a little below, to the canvas's top-left corner.
    // Only what the picture holds is copied; the rest of the canvas stays.
    void CopyMenuLineEnd(tw::TCanvas& canvas);
    // True when the client wears a picture of the section (texture or
    // gradient), false when it is one colour.
    bool ClientHasPicture() const;
    // AC_QUERYBGINFO: what lies behind a control placed on the client.
    void AnswerBGInfo(TacBGInfo& info);
    // The drag with an outline started from the system menu's Move or Size:
    // it follows the mouse from its first move and ends with the next click.
    void StartMenuDrag(bool moving);
    // True from a drag's start by the system menu to the mouse's first move.
    static bool NotMovedYet();

    // Rebuilds the frame picture when it changed and copies it to the window.
    void PaintNonClient();
    // Collects the transparent pieces of the skin's frame for the current size.
    void CollectBorderCutouts();
    // A region of the window's size without the cut-outs; the caller owns it.
    HRGN MakeFormRegion(int dx, int dy) const;
    // MINMAXINFO of a maximized skinned form: on the work area with the
    // system frame beyond it.
    void MaxInfo(tw::TMessage& m);

    // The skinned system menu (made with the first skin application).
    TsSystemMenu* SystemMenu() const { return systemMenu_; }
    // Pops the system menu up at a screen point: the skinned one while the
    // manager skins popups, else the system's with the commands the drawn
    // frame allows.
    // A title given (screen coordinates) is kept clear: with no room below
    // it the menu opens above it.
    void ShowSystemMenu(int x, int y, const RECT* title = nullptr);
    // Below the title icon, as a click on it or Alt+Space opens it.
    void ShowSystemMenuUnderIcon();
    // True while the menu line is painted from the skin (its items owner-drawn).
    bool MenuLineSkinned() const;

private:
    friend class TsProviderBorderSide;
    // Resets the frame's repaint marks before it asks for a full repaint.
    friend class TsMDIForm;
    struct TMeasures {
        int Width = 0, Height = 0;
        int Border = 0;      // frame width the system keeps around the client
        int Title = 0;       // title bar height below the top frame
        int Menu = 0;        // menu line
        TRect MenuRect;      // the menu line, in window coordinates (empty without)
        TRect Client;        // in window coordinates
    };

    bool CanSkin() const;
    bool ExcludedByRules() const;
    // Placed in a designer (it or its owner): the form is never hooked.
    bool Designing() const;
    void TakeColor(bool take);
    void ProviderWindowProc(tw::TMessage& m);
    bool AlphaFirstPass(tw::TMessage& m);
    // The skin was refreshed by the form's manager: adapters, menus, frame
    // and colour follow it.
    void SkinRefresh();
    // The skin was taken away: the form and its children are told.
    void SkinRemovedMessage(tw::TMessage& m);
    // Prints the child windows into a print DC (the form's procedure never
    // sees the print request).
    void PrintChildren(HDC dc, LPARAM flags);
    void SkinnedAlphaCommand(tw::TMessage& m);
    void SkinnedDispatch(tw::TMessage& m);
    void Size(tw::TMessage& m);
    void PosChanging(tw::TMessage& m);
    void NcHitTest(tw::TMessage& m);
    void Print(tw::TMessage& m);
    void CallSaved(tw::TMessage& m);
    // The mouse buttons on the drawn frame (and on the client while an
    // outline is dragged) and the system commands (sSkinProviderEvents.cpp);
    // true when the message was taken.
    bool ButtonAndCommandMessage(tw::TMessage& m);
    // CM_SHOWINGCHANGED: the form fades in with its frame when it is shown.
    void AnimatedShowing(tw::TMessage& m);
    // Makes the shown form invisible until the fade has its picture; false
    // when it could not be done (the form then shows as it is).
    bool PrepareTransparent();
    // Lets the saved procedure handle a message that would draw the system
    // caption, with the window marked invisible so it draws nothing (used
    // while the compositor runs, where a window laid over the title would
    // not hide what the system draws).
    void CallSavedHidden(tw::TMessage& m);

    // The caption cover (sSkinProviderTitle.cpp): a bare window laid over
    // the title strip right above the form while the saved procedure draws
    // the system's caption, so that the system's title never reaches the
    // screen; shown only where the provider may draw now.
    void ShowCaptionCover();
    void HideCaptionCover();
    // The saved procedure with the cover over the title for the call.
    void CallSavedCovered(tw::TMessage& m);
    bool CaptionCoverAllowed() const;
    // Where the cover lies, in screen coordinates.
    TRect CaptionCoverRect() const;
    // The cover's OnPaint and window procedure: it never paints, so the
    // picture below stays on the screen.
    void CoverPaint(tw::TObject* sender);
    void CoverWindowProc(tw::TMessage& m);
    // The caption drawn again from the frame picture (the extended border
    // redrawn when it shows the title).
    void RepaintCaption();
    TMeasures Measure() const;
    TSysMenuState MenuState() const;
    TCaptionLayoutInput CaptionInput(const TMeasures& ms) const;
    THitTestInput HitInput(const TMeasures& ms) const;
    TRect IconRect(const TMeasures& ms) const;
    TRect GripRect(const TMeasures& ms) const;
    bool GripShown() const;
    void PaintGrip(HDC dc);
    int HitTest(TPoint screen);
    // The hot caption button; with repaint the buttons that change are
    // drawn again at once.
    void SetHotButton(int code, bool repaint = true);
    // A press on a caption button: it is drawn pressed at once. A maximize
    // button the system menu does not allow takes no press (nothing is hot
    // then).
    void SetPressedButton(int code);
    // The record of a fixed caption button by its hit code; nullptr for the
    // user buttons and other codes.
    TsCaptionButton* ButtonByHitCode(int code);
    // The pictures of the fixed caption buttons and of the user buttons from
    // the skin: the large set for single and sizeable frames, the small set
    // for the others, and the large set for all when the skin has no small
    // close picture.
    void UpdateIconIndexes();
    // Lays the caption buttons out for the measures and keeps their places.
    void PlaceCaptionButtons(const TMeasures& ms);
    // Every caption button and user button into the frame picture in its
    // state, over the background saved behind them.
    void PaintCaptionButtons();
    // The form's caption between the icon and the buttons, into the frame
    // picture.
    void PaintCaptionText(const TMeasures& ms);
    // Keeps the title strip of the frame picture (height pixels high), from
    // which single buttons are repainted.
    void SaveTitleBackground(int height);
    // Keeps the right end of the title behind the buttons (at most height
    // pixels high), and puts it back before the buttons are drawn again.
    void SaveButtonsBackground(int height);
    void RestoreButtonsBackground();
    // The menu-line item the system left hot or open (of any form) drawn
    // normal again, into the picture and onto the window, and forgotten.
    static void RedrawPendingMenuItem();
    void RedrawMenuItem(tw::TMenuItem* item, const TRect& windowRect);
    void RepaintButton(int code);
    // Draws the button into the frame picture in its state, or in the state
    // given; returns its rectangle (empty when it is not on the title).
    TRect DrawButton(int code, int state = -1);
    TRect ButtonRect(int code) const;
    // Copies a button's rectangle of the frame picture to the window.
    void PutButton(const TRect& r);
    // The state the button shows without a fade: 0 normal, 1 hot, 2 pressed.
    int ButtonState(int code) const;
    TacButtonFx* Fx(int code);
    // Whether a change of the button to the state runs as a fade.
    bool FadesButton(const TacButtonFx& fx, int state) const;
    void ShowButtonGlow(int code, TacButtonFx& fx);
    static void HideButtonGlow(TacButtonFx& fx);
    // TacSBAnimationHost
    bool ButtonPicture(int code, int state, tw::TBitmap& out) override;
    bool ShownButtonPicture(int code, tw::TBitmap& out) override;
    void ShowButtonPicture(int code, tw::TBitmap& picture) override;
    void ButtonGlow(int code, bool show) override;
    void ButtonFadeEnded(int code) override;
    void ButtonUp(int code, LPARAM lp);
    // WM_NCLBUTTONUP over the maximize button: maximized or restored at
    // once when it was pressed and the system menu allows it.
    void MaximizeButtonUp(tw::TMessage& m);
    int MaskIndex(const char* name) const;
    bool Showing() const;
    // The whole frame is made again and painted (a skin or state change
    // that every part of the title may show).
    void InvalidateAll();
    // The frame picture has to be made again before it is shown.
    bool CacheOutdated(const TMeasures& ms) const;
    // Makes the frame picture again for the measures.
    void PaintAll(const TMeasures& ms);
    // Only the title of the picture can have changed since it was made
    // (the activation, the buttons): the rest of it is kept.
    bool OnlyTitleChanged(const TMeasures& ms) const;
    // The title strip into the picture: its section, the icon, the mask
    // behind the buttons, the caption and the buttons.
    void PaintTitle(const TMeasures& ms);
    void PaintTitleOnly(const TMeasures& ms);
    // WM_NCPAINT: the frame from the picture, and the menu line.
    void NCPaint();
    // WM_INITMENUPOPUP: the system menu's Size is greyed (the drawn frame is
    // sized by the mouse only), any other popup clears the mark of the
    // skinned system menu; then the form's own procedure.
    void InitSysMenuPopup(tw::TMessage& m);
    // A control put on the form (or on a control of it) while it runs.
    void ControlListChange(tw::TMessage& m);
    // The form's OnPaint into the picture's client part.
    void PaintOwnerIntoPicture(const TMeasures& ms);
    // Lets the system draw the menu line, which the frame picture leaves out.
    void PaintMenuLine();
    // The form's main and popup menus into or out of skinned painting; with
    // a menu given, that menu alone (when it is the form's).
    void PrepareMenus(bool skinned, tw::TMenu* only = nullptr);
    // The menu line from the skin into the frame picture: MENULINE, then
    // every top-level item through the skinned menus' painter.
    void PaintSkinnedMenuLine(const TMeasures& ms);
    // The title icon's and the title's system menu (mouse and Alt+Space);
    // true when the message was taken.
    bool SystemMenuMessage(tw::TMessage& m);
    // After a click on the icon: true when the second click of a double
    // click follows (the form is to close, no menu comes up).
    bool SecondClickOnIcon();
    // The outline drag of rmBorder.
    void BeginOutline(int code, TPoint screen);
    void FollowOutline(TPoint screen);
    void EndOutline(bool apply);

    // The client background (sSkinProviderClient.cpp).
    // The form's picture, rebuilt when it is out of date; nullptr without one.
    tw::TBitmap* ClientPicture(bool* rebuilt = nullptr);
    void RunOnPaint(HDC dc);
    // WM_PARENTNOTIFY, WM_NOTIFY, CM_MOUSEENTER and the other rows of the
    // window procedure kept with the client code; true when handled.
    bool ClientMessage(tw::TMessage& m);
    // Set while the provider's own BeginPaint runs: the erase it asks for is
    // left out, the paint covers the whole client anyway.
    bool inOwnPaint_ = false;

    tw::TCustomForm* form_ = nullptr;
    std::unique_ptr<TsCommonData> skinData_;
    tw::TWndMethod saved_;
    bool hooked_ = false;
    bool givenToNewForm_ = false;   // made by the form-creation hook, not by the program
    bool registered_ = false;
    bool skinned_ = false;
    // The menus were left as they were while a skin was being read; the
    // next activation brings them in line with the skin.
    bool menusBehind_ = false;
    bool drawNonClient_ = true;
    bool useGlobalColor_ = true;
    bool colorTaken_ = false;
    tw::TColor ownColor_ = 0;
    TResizeMode resizeMode_ = rmStandard;
    tw::TAlignment captionAlignment_ = tw::taLeftJustify;
    bool showAppIcon_ = true;
    TsGripMode gripMode_ = gmNone;
    std::string titleSkin_;
    bool screenSnap_ = false;
    int snapBuffer_ = 10;
    bool allowExtBorders_ = true;
    bool makeSkinMenu_ = false;
    TsTitleIcon titleIcon_;
    TsTitleButtons titleButtons_;
    bool changeLocked_ = false;
    bool formActive_ = true;
    bool pressed_ = false;
    bool trackingLeave_ = false;
    bool regionBusy_ = false;
    // The frame changed since its cut-outs were last taken for the region
    // (a new skin, a new size): the next non-client paint takes them again.
    bool ncChanged_ = true;
    bool firstPainted_ = false;
    bool mainMenuRefreshed_ = false;
    // The whole picture is made again at the next paint, not only the parts
    // that depend on the activation and the buttons (a menu changed).
    bool captionDirty_ = true;
    mutable int menuRows_ = -1;
    int redrawCount_ = 0;
    int hotCode_ = -1;
    TCaptionLayout buttons_;
    // Minimize, maximize, close and help.
    TsCaptionButton captionButtons_[4];
    // The GLOBALINFO TITLEBUTTON picture of the user buttons.
    int titleButtonMask_ = -1;
    TCaptionLayoutInput layoutIn_;
    TRectList cutouts_;
    SIZE regionSize_{-1, -1};
    // A maximized form's region depends on where the window stands on its
    // work area too: the part of it the region last kept.
    TRect regionOnWork_;
    // The region was set while a form without a title was minimized.
    bool iconRegion_ = false;
    TRect prevClient_;
    // The frame picture and the title strip behind the caption buttons, from
    // which a single button is repainted.
    std::unique_ptr<tw::TBitmap> ncCache_;
    std::unique_ptr<tw::TBitmap> titleBg_;
    std::unique_ptr<tw::TBitmap> buttonsBg_;
    // Adapters while skinned; see AttachAdapters.
    void AttachAdapters();
    void ReleaseAdapters();
    // The control adapter hears that the skin goes and is freed.
    void RemoveAdapter();
    std::unique_ptr<TacCtrlAdapter> ctrlAdapter_;
    std::unique_ptr<TacScrollWnd> formAdapter_;
    std::unique_ptr<TacBorderForm> borderForm_;
    bool sysMenuRemoved_ = false;
    TsSystemMenu* systemMenu_ = nullptr;   // owned as a component
    bool sysMenuDoubleClick_ = false;

    // Title icon, title mask, user glyphs, hints and the extended border's
    // picture (sSkinProviderTitle.cpp).
    void PaintAppIcon(tw::TBitmap& bmp, const TRect& icon, int titleBottom);
    void PaintTitleBarMask(tw::TBitmap& bmp, const TMeasures& ms);
    void PaintUserGlyph(tw::TBitmap& bmp, const TsTitleButton& b, const TRect& r, int state);
    void FillGripBackground(tw::TBitmap& bmp, const TRect& grip, const TMeasures& ms);
    void ShowButtonHint(int code);
    void HideButtonHint();
    void UpdateTitleRaised();
    // How much a zoomed form's title with an extended border is raised
    // above the system caption height at least.
    static constexpr int kTitleRaise = 4;
    // The height of the title the system keeps in the form's window (the
    // raise taken off again): the form's region begins below it.
    int SystemTitleHeight() const;
    void ParentClosing(tw::TMessage& m);
    // The frame and title of the extended border into its picture (inner:
    // the part inside the shadow margins), in the picture's coordinates.
    void PaintExtendedFrame(const tw::TPixelView& picture, const TRect& inner);
    // The frame beyond the form's window on each side that the border window
    // draws (the skin's border and title against the system's).
    TRect ExtendedFrame() const;
    // The title zone's hit code at a screen point on the extended border's
    // frame (0 where the border window decides itself).
    int ExtendedHitTest(POINT screen);
    TMeasures ExtendedMeasures() const;
    // The frame and title are the extended border's (it is shown: the form
    // is not minimized; a maximized form's title is the border's as well).
    bool ExtActive() const;
    // The help button's picture: the small set falls back to the large one.
    const char* HelpMaskName(bool large) const;
    std::string menuLineSkin_;
    bool titleRaised_ = false;
    uint8_t windowState_ = 0;
    std::unique_ptr<tw::THintWindow> hint_;
    int hintCode_ = 0;
    // While the extended border's picture is painted the layout and cache
    // are the border window's.
    bool extPainting_ = false;
    // The caption cover while it is shown and the procedure its window had.
    tw::TWndMethod coverSaved_;
    std::unique_ptr<tw::TForm> cover_;
    // Set while the form's own procedure shows it for the show animation.
    bool animatedShow_ = false;
};

// The form-creation hook and the window hook of the program: every form gets
// its provider when it is made, and the default skin manager's CBT hook
// skins the windows the program does not create. Installed once at start-up.
void InstallFormSkinning();
void UninstallFormSkinning();

// The provider of a form, nullptr when it has none.
TsSkinProvider* FindProvider(tw::TCustomForm* form);

} // namespace skin
