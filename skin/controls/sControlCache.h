#pragma once
// What every skinned control of this folder shares beyond the common
// handler: the answers to the state, cache and fade sub-commands, and the
// cache picture built from the skin only when the background changed.
#include <windows.h>

#include <string>

#include "skin/engine/effects/sFade.h"
#include "skin/engine/link/sCommonData.h"
#include "ui/Controls.h"

namespace skin {

// The control's own answers to the skin sub-commands the common handler
// leaves to it: AC_REFRESHSTATE, AC_SETACTIVESTATE and AC_RESETCACHE paint
// the control again from a rebuilt cache, AC_STOPANIMATION ends its fade,
// AC_FADESTART and AC_FADEFRAME leave the frames to the fade timer (result
// 0); all of them end here. After a skin was loaded, changed or removed the
// fade stops, the cache is marked and the control repainted; skinChanged is
// set and the message goes on. Call it after CommonWndProc returned false;
// true when the message is done.
bool AnswerControlCommand(tw::TMessage& m, TsCommonData& data, TsFadeTimer*& fade, bool& skinChanged);

// Rebuilds the cache picture (the control's size) from its section over
// what its parent shows, in the given state, when the background changed,
// the size changed or the state differs from the one painted last.
// Returns true when it painted the picture again; false when it was still
// good or the control is not skinned.
bool UpdateControlCache(TsCommonData& data, int state, int& paintedState);

// The same for a windowed button whose section has a border mask: its
// background, what lies under the control in the mask's corners, then the
// button painter with the mask's state frame; the mask's key-coloured
// corner pixels are cut from the window's region. Without a mask (or a
// window) as UpdateControlCache.
bool UpdateButtonCache(TsCommonData& data, int state, int& paintedState);
// Gives the button its whole window back (the skin went away).
void ClearButtonRegion(TsCommonData& data);

// What a cache shows beyond its section (caption, glyph, value) written as
// a key: a key other than the one painted marks the background changed.
void NoteCacheLook(TsCommonData& data, const std::string& look, std::string& paintedLook);

// A disabled control shows its finished cache in the skin's disabled look:
// grey (dkGrayed) and/or mixed with what lies under it (dkBlended). Nothing
// for an enabled or unskinned control. Call it last, after the caption and
// glyph went onto the cache.
void PaintDisabledCache(TsCommonData& data, unsigned disabledKind);

// Copies the cache picture to (x, y) of dc.
void DrawControlCache(TsCommonData& data, HDC dc, int x, int y);

// The text colour of a control without a section of its own: the font
// colour of the nearest parent section that gives one, else the parent's
// own; false when the control's parent is not skinned.
bool ParentSkinFontColor(tw::TControl* control, TColor& color);

} // namespace skin
