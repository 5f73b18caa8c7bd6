#pragma once
// What every skinned control of this folder shares beyond the common
// handler: the answers to the state, cache and fade sub-commands, and the
// cache picture built from the skin only when the background changed.
#include <windows.h>

#include "skin/engine/sCommonData.h"
#include "skin/engine/sFade.h"
#include "ui/Controls.h"

namespace skin {

// The control's answers to AC_REFRESHSTATE, AC_SETACTIVESTATE,
// AC_STOPANIMATION, AC_RESETCACHE, AC_FADESTART and AC_FADEFRAME, and its
// repaint after a skin was loaded, changed or removed. Call it after
// CommonWndProc returned false; true when the message is done.
bool AnswerControlCommand(tw::TMessage& m, TsCommonData& data, TsFadeTimer*& fade);

// Rebuilds the cache picture (the control's size) from its section over
// what its parent shows, in the given state, when the background changed,
// the size changed or the state differs from the one painted last.
// Returns true when it painted the picture again; false when it was still
// good or the control is not skinned.
bool UpdateControlCache(TsCommonData& data, int state, int& paintedState);

// Copies the cache picture to (x, y) of dc.
void DrawControlCache(TsCommonData& data, HDC dc, int x, int y);

// The text colour of a control without a section of its own: the font
// colour of the nearest parent section that gives one; false when the
// control is not under a loaded skin.
bool ParentSkinFontColor(tw::TControl* control, TColor& color);

} // namespace skin
