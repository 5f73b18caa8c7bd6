#pragma once
// Windows only. The one list of forms that carry a skin provider: skin-wide
// messages reach every skinned form (and through it its controls) even when
// the application does not own the form; before a skin change the visible
// ones stop redrawing so the change is not seen piece by piece, and after it
// they are redrawn once.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "skin/engine/common/DefaultManager.h"
#include "ui/Forms.h"
#include "ui/Graphics.h"

namespace skin {

class TsSkinManager;

// What the registry needs of a form's skin provider. A provider answers
// AC_QUERYPROVIDER with a pointer to this part of itself.
class TSkinnedFormLink {
public:
    virtual TsSkinManager* LinkManager() const = 0;
    virtual bool FormSkinned() const = 0;
    // While set the provider does not repaint the form.
    virtual void SetSkinChangeLock(bool locked) = 0;
    virtual bool HasBorderWindow() const = 0;
    // Collects the border cut-outs again and sets the form's region.
    virtual void UpdateFormRegion() = 0;
    virtual void UpdateBorderWindow(uint8_t alpha) = 0;

    // What an animated show of the form asks of its provider. The defaults
    // fit a provider without an extended-border window.
    // The extended-border window, nullptr without one.
    virtual HWND BorderWindow() const { return nullptr; }
    // Rebuilds the whole frame picture and gives its size (the extended-
    // border window's size, which is larger than the form's).
    virtual SIZE PaintAll() { return SIZE{0, 0}; }
    // The title bar was raised for the extended borders: the picture then
    // starts just the top margin above the form.
    virtual bool TitleHeightRaised() const { return false; }
    // Collects the frame's cut-outs again and returns the region of the form
    // without them, in window coordinates (nullptr: the whole window). The
    // caller owns it.
    virtual HRGN AnimationRegion() { return nullptr; }
    // Sets the extended-border window's region again after the animation.
    virtual void RestoreBorderRegion() {}
    // A message the form's code passes to its provider's notification
    // hook; a provider takes none of them.
    virtual void NotifyHook(tw::TMessage&) {}

    // What the provider's own skin link asks of it when its setters run.
    // The section changed: the cached non-client picture no longer fits.
    virtual void LinkSectionChanged() {}
    // The manager changed: the form is skinned again (AC_SKINREFRESH) or
    // unskinned (AC_SKINREMOVED) through the provider's own routine.
    virtual void LinkManagerChanged(uint16_t /*command*/, TsSkinManager* /*manager*/) {}

protected:
    ~TSkinnedFormLink() = default;
};

// The upper-case section whose controls repaint on AC_INVALIDATE. Nothing in
// the program sets it, so only controls without a section answer it.
extern std::string SectionFilter;

// The provider of the form's window (nullptr when it has none or no window).
TSkinnedFormLink* QueryProvider(tw::TCustomForm* form);

int AddSkinnedForm(tw::TCustomForm* form);
void RemoveSkinnedForm(tw::TCustomForm* form);
const std::vector<tw::TCustomForm*>& SkinnedForms();

// The application's forms that are not skinned yet, then every registered one.
void BroadcastToForms(tw::TMessage& message);
void BroadcastToSkinnedForms(tw::TMessage& message);
// The windows of other programs' dialogs that the library skins get the
// broadcasts too; their hook installs this.
extern std::function<void(tw::TMessage&)> BroadcastToForeignWindows;
// Form providers that gave their form back when the skin went are not in the
// registry; they hear of a new skin through this, which they install.
extern std::function<void(tw::TMessage&)> BroadcastToIdleProviders;

void BeginSkinChange(TsSkinManager* manager);
void EndSkinChange(TsSkinManager* manager, bool animate);

// The program's icon for the title bars, large (above 16 pixels) and small;
// nullptr when the program file has none.
HICON ApplicationIcon(bool large);

} // namespace skin
