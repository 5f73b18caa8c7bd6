// What the tools' windows share: their German and English text tables and
// the seam through which window tests act while a tool's dialog is shown
// modally.
#pragma once

#include <functional>
#include <string>

#include "ui/Forms.h"

namespace tw {

// One text of a window: the control's name ("" for the window's caption),
// German, English.
struct TToolText {
    const char* Control;
    const char* German;
    const char* English;
};

// Puts a text on the named control of the form (the caption of a label,
// button or box, the bound label of an edit or list; the form's own caption
// for ""). Message entries, whose
// names name no control, are left alone.
void ApplyToolText(TForm& form, const TToolText& text, bool german);
template <size_t N>
void ApplyToolTexts(TForm& form, const TToolText (&table)[N], bool german) {
    for (const TToolText& t : table) ApplyToolText(form, t, german);
}
// The text of a table's entry for a control in the language.
template <size_t N>
std::string ToolText(const TToolText (&table)[N], const std::string& control, bool german) {
    for (const TToolText& t : table)
        if (control == t.Control) return german ? t.German : t.English;
    return "";
}

// The program's skin for a tool window made after start-up (the windows
// made at start-up join it there): set by the program's start-up, nothing
// without it.
extern std::function<void(TCustomForm* form)> JoinToolFormSkin;
void JoinToolForm(TCustomForm* form);

// Tests: called when a tool's window has been shown (inside its modal run).
extern std::function<void(TForm& form)> ToolFormShownHook;
void ToolFormShown(TForm& form);

} // namespace tw
