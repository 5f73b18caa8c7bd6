#pragma once
// Windows the program does not create itself (the system's message boxes and
// file dialogs) get the skin's frame from outside: the default skin manager's
// window-creation (CBT) hook sees them activated, subclasses the dialog with
// a frame adapter and its child windows with small adapters, and gives each
// window its own procedure back when the dialog ends or the skin goes.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "skin/engine/common/GdiGuards.h"
#include "skin/engine/painting/BorderPainting.h"
#include "skin/engine/data/FormGeometry.h"
#include "skin/windows/acWndGeometry.h"
#include "skin/windows/acSBAnimation.h"

namespace tw {
class TWinControl;
class TBitmap;
class TPixelImage;
}

namespace skin {

class TsCommonData;
class TsSkinManager;
class TacBrushes;
class TacBorderForm;
class TacProvider;
class TsSkinProvider;
class TacSystemMenu;

// Root of the adapters that skin a window by subclassing it. The adapter
// sits in the window property "ACSBSC" while it has the window.
class TacMainWnd {
    // See SwapWindowProc.
    struct MethodLink;

public:
    // skinData: the skin link of the window's control, when it has one; the
    // adapter makes and owns a link of its own otherwise. Without a manager
    // the link's is taken, else the default one.
    TacMainWnd(HWND wnd, TsSkinManager* manager, const std::string& section, const char* kind,
               TsCommonData* skinData = nullptr);
    virtual ~TacMainWnd();
    TacMainWnd(const TacMainWnd&) = delete;
    TacMainWnd& operator=(const TacMainWnd&) = delete;

    HWND Handle() const { return wnd_; }
    // The adapter class the window was given ("TacBtnWnd", ...).
    const char* Kind() const { return kind_; }
    const std::string& Section() const { return section_; }
    // The adapter's skin link (never nullptr): its section is the adapter's
    // when the link had none.
    TsCommonData* SkinData() const { return skinData_; }
    bool Unsubclassed() const { return unsubclassed_; }
    void ClearUnsubclassed() { unsubclassed_ = false; }
    bool DialogChild = false;

    // Whether the adapter still exists. A message an adapter passes on (to
    // the window's own procedure, or sent to a window whose handling reaches
    // the adapter's owner) may free it: the skin removed or changed, the
    // window ended. A procedure takes a TLife before it passes a message on
    // and touches nothing of the adapter afterwards unless it is Alive().
    class TLife {
    public:
        explicit TLife(const TacMainWnd& adapter) : token_(adapter.life_) {}
        bool Alive() const { return !token_.expired(); }

    private:
        std::weak_ptr<const char> token_;
    };

    // The procedure the adapter passes messages on to, apart from the
    // adapter: a message still goes on when what was done before passing
    // it freed the adapter.
    class TNextProc {
    public:
        LRESULT operator()(UINT msg, WPARAM wp, LPARAM lp) const;

    private:
        friend class TacMainWnd;
        HWND wnd_ = nullptr;
        WNDPROC saved_ = nullptr;
        std::shared_ptr<MethodLink> link_;
    };
    TNextProc NextProc() const;

    // Gives the window its procedure back (once).
    void Unsubclass(bool repaint);
    // The adapter of a window, nullptr when it has none.
    static TacMainWnd* Of(HWND wnd);

    // The window's text when the adapter took it over.
    std::string Caption;
    // Where the window lies, as last read (WndRectInParent).
    TacWndGeometry Geometry;
    void UpdateGeometry();
    // How often the skinned scroll bars were painted (AC_SCROLLPAINT).
    int ScrollPaints = 0;

protected:
    virtual LRESULT AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp);
    // The skin's sub-commands every adapter answers; true when answered.
    virtual bool AnswerSkinCommand(uint16_t command, WPARAM wp, LPARAM lp, LRESULT& result);
    // Colours of a control of the class library the adapter took over,
    // given back when it goes.
    void SaveColors();
    void RestoreColors();
    // The window is being destroyed; the adapter itself is freed later.
    virtual void WindowEnds() {}
    // What the window shows behind its content, into a DC of its client
    // size: the section's picture over what lies under the window, or only
    // that when the window shows its dialog through. Children ask for it
    // (AC_QUERYBGINFO) to paint what lies under them.
    virtual void PaintBackgroundPicture(HDC dc);
    LRESULT CallSaved(UINT msg, WPARAM wp, LPARAM lp);
    // A link of the adapter's own follows skin loads and removals (a given
    // link hears them through its control).
    void KeepOwnLinkCurrent(WPARAM wp, LPARAM lp);
    TsSkinManager* manager_;
    std::string section_;

private:
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
    void TakeOver();
    // Takes the mark off the window's control when no adapter has it now.
    void ReleaseMark();
    // A control or form of the class library: its WindowProc is swapped
    // instead (so Perform reaches the adapter too).
    struct AdapterMethod;
    void SwapWindowProc(tw::TWinControl* control);
    void RestoreWindowProc();
    HWND wnd_;
    WNDPROC saved_ = nullptr;
    std::shared_ptr<MethodLink> methodLink_;
    const char* kind_;
    bool unsubclassed_ = false;
    bool colorsSaved_ = false;
    int32_t savedColor_ = 0, savedFontColor_ = 0;
    // The picture last answered to AC_QUERYBGINFO (its bits are handed out).
    std::unique_ptr<tw::TBitmap> bgPicture_;
    std::unique_ptr<TsCommonData> ownSkinData_;
    TsCommonData* skinData_ = nullptr;
    // Ends with the adapter (see TLife).
    std::shared_ptr<const char> life_ = std::make_shared<const char>('\0');
};

// The skinned scroll bars of a window's non-client area (described with
// the scroll-bar helpers in acSBUtils.h). Declared here because the dialog
// adapter is one too: a dialog's own scroll bars wear the skin.
struct TsScrollGeometry;

enum TsScrollPart { spNone, spLineMin, spPageMin, spThumb, spPageMax, spLineMax };

// One non-client scroll bar as the adapter last read it.
struct TacScrollBarState {
    bool Visible = false;
    bool Enabled = false;
    TRect Rect;            // window coordinates
    int Min = 0, Max = 0;  // Max: the last position (nMax - page + 1)
    int Page = 0, Pos = 0;
    bool operator==(const TacScrollBarState& o) const
    {
        return Visible == o.Visible && Enabled == o.Enabled && Rect == o.Rect && Min == o.Min && Max == o.Max &&
               Page == o.Page && Pos == o.Pos;
    }
};

class TacScrollWnd : public TacMainWnd {
public:
    // With repaint the skinned bars are painted at once, else at the
    // window's next frame paint.
    TacScrollWnd(HWND wnd, TsSkinManager* manager, const std::string& section = "", const char* kind = "TacScrollWnd",
                 TsCommonData* skinData = nullptr, bool repaint = true);
    ~TacScrollWnd() override;

    // Reads both bars again; with repaint paints them.
    void UpdateScrollState(bool repaint);
    const TacScrollBarState& Bar(bool vertical) const { return vertical ? vert_ : horz_; }
    // The client-origin questions of the form's painter.
    bool ShowsVertical() const { return vert_.Visible; }
    bool ShowsHorizontal() const { return horz_.Visible; }
    int VerticalWidth() const { return vert_.Visible ? vert_.Rect.Width() : 0; }
    int HorizontalHeight() const { return horz_.Visible ? horz_.Rect.Height() : 0; }
    // The part under the mouse and the part held, and on which bar.
    TsScrollPart HotPart() const { return hot_; }
    TsScrollPart PressedPart() const { return pressed_; }
    bool HotVertical() const { return hotVertical_; }
    // How often the bars were painted (the tests see the skin at work).
    int PaintCount() const { return paints_; }
    // Paints the skinned bars into a DC of the whole window.
    void PaintBars(HDC windowDC);

protected:
    LRESULT AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void ReadBar(bool vertical, TacScrollBarState& s) const;
    TsScrollGeometry Geometry(bool vertical) const;
    void Repaint();
    // A point of the window's client (captured mouse) or screen in bar coordinates.
    TPoint BarPoint(bool vertical, POINT screen) const;
    void MouseDown(bool vertical, POINT screen);
    void MouseMove(POINT screen);
    void MouseUp();
    void Repeat();
    void SetLook(bool vertical, TsScrollPart hot, TsScrollPart pressed);

    TacScrollBarState vert_, horz_;
    TsScrollPart hot_ = spNone, pressed_ = spNone;
    bool hotVertical_ = true;
    bool tracking_ = false;
    bool ncTracking_ = false;
    int grip_ = 0, trackPos_ = 0;
    POINT lastScreen_{0, 0};
    int paints_ = 0;
    bool painting_ = false;
};

// The skinned frame of a system dialog (window class "#32770"), painted from
// the section "DIALOG" with the title of "FORMTITLE".
class TacDialogWnd : public TacScrollWnd, private TacSBAnimationHost {
public:
    TacDialogWnd(HWND wnd, TsSkinManager* manager);
    ~TacDialogWnd() override;

    // Takes the dialog's frame, icon and caption font; after its children
    // were adapted.
    void InitDialogState();
    // The provider that holds the adapter (children adapted again through it).
    TacProvider* Provider = nullptr;
    // The styles as the dialog had them when it was skinned.
    LONG_PTR Style() const { return style_; }
    LONG_PTR ExStyle() const { return exStyle_; }
    // 0 fixed (modal frame), 1 not yet known, 2 popup without a full
    // caption, 3 sizeable or plain.
    int BorderKind() const { return borderKind_; }
    bool MaximizeEnabled() const;
    bool RestoreEnabled() const;
    bool MinimizeEnabled() const;
    // The window's class allows closing (no CS_NOCLOSE).
    bool CloseEnabled() const;
    TacSystemMenu* SysMenu() const { return sysMenu_.get(); }
    // The window's small icon as the title shows it, nullptr without one.
    const tw::TBitmap* IconBitmap() const { return iconBitmap_.get(); }
    HICON IconHandle() const { return iconHandle_; }
    // The layered window of the extended borders, nullptr when off.
    TacBorderForm* BorderForm() const { return borderForm_.get(); }
    void SetExtendedBorders(bool on);
    // The skin has a DIALOG section: without one the dialog keeps the
    // system's frame and client.
    bool SkinShown() const;

    int HotButton() const { return hot_; }
    const TCaptionLayout& Buttons() const { return buttons_; }
    // The fade and halo of a title button (hit code); nullptr for others.
    const TacButtonFx* ButtonFx(int code) const;
    // Ends the title buttons' fades and hides their halos.
    void FreeButtonAnimations();
    bool PaintSuppressed = false;
    // Paints the frame again after a change of state or skin.
    void Repaint();

    // The skinned dialog whose client holds the window (the window itself
    // or its nearest skinned ancestor dialog), nullptr when there is none.
    static TacDialogWnd* DialogOf(HWND wnd);
    // Paints into dc, at the client origin of wnd (the dialog or one of its
    // descendants), the part of the dialog's skinned client that lies under
    // wnd's client area; false when the skin has nothing to paint.
    bool PaintBackgroundOf(HWND wnd, HDC dc);
    // A brush of the dialog's skinned client for a child that fills its
    // background with the brush it is answered (labels, check boxes, icons):
    // its origin set in dc so that the child shows what lies under it.
    // nullptr when the skin has nothing to paint. Owned by the adapter.
    HBRUSH BackgroundBrushFor(HWND wnd, HDC dc);
    // The dialog as the skin paints it, frame and client (for tests). With
    // the extended border it is a 32-bit picture with the border's margins
    // around the frame, and the border window shows it.
    const tw::TBitmap* Cache() const { return cache_.get(); }
    // The title's height: the skin's own (with the top border in it) while
    // the border window draws the frame, else the system's caption.
    int CaptionHeight() const;
    // The border window draws the frame and title (the dialog keeps its
    // client only): extended borders on, the dialog neither zoomed nor
    // minimized (then the border window is hidden and the dialog draws its
    // own frame again).
    bool ExtendedActive() const;
    // The frame, title and buttons as the border window would answer for a
    // screen point; 0 for the edges, the client and beside the frame.
    int BorderTitleHitTest(POINT screen);

protected:
    LRESULT AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp) override;
    void WindowEnds() override { FreeButtonAnimations(); }

private:
    struct TMeasures {
        // The frame the skin paints: the window, or under the extended
        // border the skin's frame, which can be wider than the system's.
        int Width = 0, Height = 0, Border = 0, Title = 0;
        // The client in the cache.
        TRect Client;
        // Where the frame and the window start in the cache (the border's
        // margins, and the skin's frame beyond the window).
        TPoint FrameOrg, WindowOrg;
        int CacheWidth = 0, CacheHeight = 0;
        // The window's own border and the top of its client.
        int SysBorder = 0, SysTop = 0;
        bool Ext = false;
    };
    TMeasures Measure() const;
    TCaptionLayoutInput LayoutInput(const TMeasures& ms) const;
    TCaptionLayout LayoutButtons(const TCaptionLayoutInput& li) const;
    // How far the skin's frame reaches beyond the window on each side while
    // the border window draws it.
    TRect FrameExtent() const;
    // BORDERMODE 1 under the extended border: the border picture is the
    // frame, and only the title's icon, text and buttons go over it.
    bool UseExt() const;
    // The title into the frame picture at org: the FORMTITLE item (not
    // under BORDERMODE 1's border picture), the icon and the caption text.
    void PaintTitle(tw::TBitmap& bmp, const TMeasures& ms, TPoint org, bool useExt);
    // The border picture around and under the frame (in the cache).
    void ComposeExtendedBorder(const TMeasures& ms, const tw::TBitmap& frame);
    void OpaqueRect(TRect r);
    void CopyCacheTo(tw::TPixelImage& picture);
    // The restore picture: the skin's global one, else the dialog section's.
    int NormMask() const;
    // The skin's pictures of the caption buttons: the big set for sizeable
    // and plain frames, the small set for the others (the big one for all
    // when the skin has no small close picture; help lent from the big set).
    void LoadTitleButtonMasks();
    // What lies under a point in window coordinates.
    int DialogHitTest(TPoint windowPoint);
    TPoint WindowPoint(LPARAM screenPoint) const;
    void PaintNonClient();
    // Paints the whole window into the cache; false when it has no size.
    bool PaintDialogCache();
    // The caption buttons into the cache, in their states.
    void PaintTitleButtons();
    bool CacheFits() const;
    // The skin's DIALOG section is there and the window's picture is up to
    // date (built now when it was not).
    bool ClientPictureReady();
    void EraseClient(HDC dc);
    // The skin's transparent corners of the frame and of the title for a
    // window of the size.
    void BuildRegionRects(int width, int height);
    // The window region without those corners; with redraw what the region
    // uncovers is drawn again (while the window is visible).
    void UpdateDialogRegion(bool redraw = true);
    // The hot caption button; with repaint the buttons that change are
    // drawn again at once.
    void SetHotButton(int code, bool repaint = true);
    // A press on a caption button: it is drawn pressed at once.
    void SetPressedButton(int code);
    // One title button drawn again: faded, or from the saved title strip.
    void RepaintTitleButton(int code);
    // Draws a title button into the frame picture in its state (or the one
    // given); returns its rectangle, empty when it is not on the title.
    TRect DrawTitleButton(int code, int state = -1);
    TRect ButtonRect(int code) const;
    int ButtonState(int code) const;
    TacButtonFx* Fx(int code);
    void PutButton(const TRect& r);
    // TacSBAnimationHost
    bool ButtonPicture(int code, int state, tw::TBitmap& out) override;
    bool ShownButtonPicture(int code, tw::TBitmap& out) override;
    void ShowButtonPicture(int code, tw::TBitmap& picture) override;
    void ButtonGlow(int code, bool show) override;
    void ButtonFadeEnded(int code) override;
    HBRUSH Brush();
    COLORREF TextColor() const;
    // The children made since are adapted too.
    void AdaptChildren();
    // The title given (screen coordinates, may be null) stays clear of the menu.
    void PopupSysMenu(int x, int y, const RECT* title = nullptr);
    void UpdateBorderWindow();
    TRect IconRect(const TMeasures& ms) const;
    void DrawTitleIcon(HDC dc, const TRect& r);
    LRESULT SkinCommand(WPARAM wp, LPARAM lp);
    void ClearHot();

    LONG_PTR style_ = 0, exStyle_ = 0;
    int borderKind_ = 1;
    // WS_SYSMENU was taken from the window (given back when unskinned).
    bool sysMenuRemoved_ = false;
    bool childrenAdapted_ = false;
    // The skin's answer to "active" (sub-command 10): set by the skin,
    // cleared once the frame was painted.
    bool skinActive_ = true;
    HICON iconHandle_ = nullptr;
    std::unique_ptr<tw::TBitmap> iconBitmap_;
    std::unique_ptr<TGdiObject> captionFont_; // the caption font made bold
    std::unique_ptr<TacSystemMenu> sysMenu_;
    std::unique_ptr<TacBorderForm> borderForm_;

    bool active_ = true;
    bool pressed_ = false;
    bool tracking_ = false;
    int hot_ = 0;
    TCaptionLayout buttons_;
    TCaptionLayoutInput layout_;
    // The title strip without the buttons, from which single buttons are
    // drawn again.
    std::unique_ptr<tw::TBitmap> titleBg_;
    // Minimize, maximize, close and help.
    TacButtonFx fx_[4];
    // The caption buttons' pictures (close, maximize, minimize, help) as
    // LoadTitleButtonMasks found them; -1 where the skin has none.
    struct TTitleButtonMask {
        int HitCode = 0;
        int Mask = -1;
        bool BigIcon = false;
    };
    TTitleButtonMask titleMasks_[4];
    TRectList regionRects_;
    SIZE regionSize_{-1, -1};
    bool regionExt_ = false; // the region was cut to the client for the border window
    TSolidBrush brush_; // one per dialog
    // The fields' colours (edits and lists straight on the dialog).
    std::unique_ptr<TacBrushes> fieldBrushes_;
    // The window as the skin paints it: the frame and its buttons come from
    // it, and the client background under the children (the section's
    // colour, texture and pattern, not only its colour).
    std::unique_ptr<tw::TBitmap> cache_;
    TRect cacheClient_;
    // Where the frame and the window lie in the cache as last built.
    TPoint frameOrg_, windowOrg_;
    // The client part of the cache as a pattern brush, made again after
    // every rebuild of the cache (the brush keeps its own copy of the bits).
    HBRUSH clientBrush_ = nullptr;
    bool clientBrushStale_ = true;
};

// The skin's frame on a popup-menu window ("#32768"), put there by the
// creation hook whoever made the menu. The system keeps drawing the items
// (owner-drawn ones through the skinned menus); the adapter answers that the
// window is skinned, so the menu painter does not subclass it a second time.
class TacMnuWnd : public TacMainWnd {
public:
    TacMnuWnd(HWND wnd, TsSkinManager* manager);
    ~TacMnuWnd() override;

protected:
    LRESULT AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp) override;
    void WindowEnds() override;
};

// The menu adapters the creation hook made since the array was last cleared,
// one per popup window, in order. Clearing does not free them: each lives
// until its window has ended.
const std::vector<std::shared_ptr<TacMnuWnd>>& TacMnuArray();
void ClearMnuArray();

// One skinned foreign dialog with its children's adapters.
class TacProvider {
public:
    ~TacProvider();
    HWND Handle = nullptr;
    // The provider given to a form of the class library that had none; the
    // form owns it, the record only names it (nullptr for dialogs).
    TsSkinProvider* FormProvider = nullptr;
    std::unique_ptr<TacDialogWnd> DialogAdapter;
    std::vector<std::unique_ptr<TacMainWnd>> Children;
};

// The hook's decision for one activated window; true when it was skinned
// now or is served already.
bool HookActivatedWindow(HWND wnd);
// The hook's step for a window being made: a popup-menu window gets the
// skin's frame (unless the compositor draws menus or the skin draws none).
void HookCreatedWindow(HWND wnd);
// How many skinned foreign dialogs are on the screen now.
int VisibleDialogCount();
// Skins or unskins a dialog by the default manager's state: with an active
// skin the dialog's adapter (made when missing), else none and the
// system's flat scroll bars back.
void CreateDialogAdapter(HWND wnd, std::unique_ptr<TacDialogWnd>& adapter);
// The adapters of a dialog's children: descendants first, then the window.
bool AdaptDialogChildren(TacProvider& provider, HWND parent);
bool AdaptDialogChild(TacProvider& provider, HWND wnd);
// Frees the providers of dialogs whose windows have ended.
void SweepDestroyedDialogs();
// The skinned foreign dialogs now (nil slots skipped).
std::vector<TacProvider*> DialogProviders();
// Runs step for each skinned foreign dialog. What step sends a dialog may
// free the others (the skin taken away): each is looked up when its turn
// comes, and step must not touch its provider after sending.
void ForEachDialogProvider(const std::function<void(TacProvider&)>& step);
// The provider that a form's skin provider is named in goes with it.
void ForgetFormProvider(const TsSkinProvider* provider);
// The provider of a dialog window, nullptr when it is not skinned. (The
// provider of a form, TsSkinProvider, is FindProvider of the form.)
TacProvider* FindProvider(HWND wnd);
// A form of the class library that had no skin provider gets its own,
// named in the record the hook keeps of it.
void AttachFormProvider(TacProvider& provider, tw::TCustomForm* form);
// The message to every direct child of a window, first to last.
void BroadcastToTopChildren(HWND wnd, const tw::TMessage& m);
// Lower-case class name search through all descendants.
bool HasDescendantOfClass(HWND wnd, const std::string& lowerName);

// Sets the hook procedure the skin manager installs with the skin and the
// broadcast that tells skinned dialogs of skin changes.
void InstallDialogSkinning();
void UninstallDialogSkinning();

} // namespace skin
