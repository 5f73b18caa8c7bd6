// The library's standard texts: message-box button captions and titles, key
// names of shortcuts and the library's own messages. They start in German;
// the application switches them to English once at start when its language
// is not German, and every later use shows the English text.
#pragma once

#include <string>

namespace tw {

enum TStdText {
    // buttons
    stOK, stCancel, stYes, stNo, stHelp, stClose, stIgnore, stRetry, stAbortPlain, stAbort, stAll, stNoToAll,
    stYesToAll,
    // message-dialog titles
    stWarning, stError, stInformation, stConfirm,
    // key names used by shortcut texts
    stKeyBkSp, stKeyTab, stKeyEsc, stKeyEnter, stKeySpace, stKeyPgUp, stKeyPgDn, stKeyEnd, stKeyHome, stKeyLeft,
    stKeyUp, stKeyRight, stKeyDown, stKeyIns, stKeyDel, stKeyShift, stKeyCtrl, stKeyAlt,
    // library messages and dialog texts
    stCannotFocus, stInvalidOperation, stVisibleModal, stListIndexError, stInvalidPropertyValue,
    stUnknownExtension, stInvalidGraphic, stOutOfResources, stInvalidTime, stOpenTitle, stSaveTitle,
    // the items of a window's system menu
    stMenuRestore, stMenuMove, stMenuSize, stMenuMinimize, stMenuMaximize, stMenuClose,
    stStdTextCount
};

const std::string& StdText(TStdText id);
// Replaces the German defaults by the English texts. Only the first call
// changes anything, as the start-up does it exactly once.
void UseEnglishStdTexts();
bool StdTextsAreEnglish();
// Sets a single text (for a program that brings its own wording).
void SetStdText(TStdText id, const std::string& text);

} // namespace tw
