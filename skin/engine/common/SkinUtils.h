#pragma once
// Small stateless helpers every part of the skin engine uses: integer and
// rectangle arithmetic, word extraction, INI text held in memory, file names,
// and (on Windows) the library's message boxes and a few system queries.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/PixelView.h"

#ifdef _WIN32
#include "ui/Types.h"
namespace tw {
class TIcon;
}
#endif

namespace skin {

// Colours as the class library keeps them: $00BBGGRR.
using TColor = int32_t;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clKeyColor = 0xFF00FF;

// The skin's picture work runs on the run-time library's pixel views.
using TPixelView = tw::TPixelView;
using TPixelImage = tw::TPixelImage;

#ifdef _WIN32
// On Windows the skin shares the class library's geometry types.
using TPoint = tw::TPoint;
using TRect = tw::TRect;
#else
struct TPoint {
    int X = 0, Y = 0;
    TPoint() = default;
    TPoint(int x, int y) : X(x), Y(y) {}
    bool operator==(const TPoint& o) const { return X == o.X && Y == o.Y; }
};

struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    TRect() = default;
    TRect(int l, int t, int r, int b) : Left(l), Top(t), Right(r), Bottom(b) {}
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    bool Contains(const TPoint& p) const { return p.X >= Left && p.X < Right && p.Y >= Top && p.Y < Bottom; }
    void Offset(int dx, int dy) { Left += dx; Right += dx; Top += dy; Bottom += dy; }
    void Inflate(int dx, int dy) { Left -= dx; Right += dx; Top -= dy; Bottom += dy; }
    bool operator==(const TRect& o) const {
        return Left == o.Left && Top == o.Top && Right == o.Right && Bottom == o.Bottom;
    }
};
#endif

// A set of 8-bit characters (word separators).
class TCharSet {
public:
    TCharSet() = default;
    TCharSet(const char* chars) { for (; chars && *chars; ++chars) Add(*chars); }
    void Add(char c) { bits_[static_cast<uint8_t>(c) >> 6] |= uint64_t(1) << (static_cast<uint8_t>(c) & 63); }
    bool Has(char c) const { return (bits_[static_cast<uint8_t>(c) >> 6] >> (static_cast<uint8_t>(c) & 63)) & 1; }

private:
    uint64_t bits_[4] = {0, 0, 0, 0};
};

// Numbers and rectangles.
int ClampByte(int value);
int IfThenInt(bool condition, int a, int b);
std::string IfThenStr(bool condition, const std::string& a, const std::string& b);
bool ValueInRange(int value, int min, int max);
int MaxOf(int a, int b);
int MinOf(int a, int b);
int ClampValue(int value, int min, int max);
void SwapInts(int& a, int& b);
TRect SetRectValues(int left, int top, int right, int bottom);
int RectWidth(const TRect& r, bool check = false);
int RectHeight(const TRect& r, bool check = false);
bool RectsOverlap(const TRect& r1, const TRect& r2);
bool RectInRect(const TRect& outer, const TRect& inner);
TRect IntersectRects(const TRect& r1, const TRect& r2);

// Text. Word numbers start at 1.
int WordCount(const std::string& s, const TCharSet& separators);
int WordPosition(int n, const std::string& s, const TCharSet& separators);
std::string ExtractWord(int n, const std::string& s, const TCharSet& separators);
std::string DeleteChars(const std::string& s, char c);
std::string ReplaceAll(const std::string& s, const std::string& oldText, const std::string& newText);
bool HasChars(const std::string& s, const TCharSet& chars);
void FillString(std::string& s, int count, char c);
int64_t HexToInt64(const std::string& s);

// INI text held in memory: section names with their lines, in file order.
struct TIniSection {
    std::string Name;
    std::vector<std::string> Lines;
};
using TIniSections = std::vector<TIniSection>;

void ParseIniSections(const std::vector<std::string>& lines, TIniSections& sections);
std::string ReadSectionValue(const TIniSections& sections, const std::string& section, const std::string& key,
                             const std::string& def);
int ReadSectionInteger(const TIniSections& sections, const std::string& section, const std::string& key, int def);

// Files and folders.
std::string NormalizeDir(const std::string& s);
bool IsValidFileName(const std::string& s);
std::string AppFolder();

// The platform's file search. Files always match; folders only when the
// attributes ask for faDirectory. 0 on success, an error code otherwise.
constexpr int faReadOnly = 0x01, faHidden = 0x02, faSysFile = 0x04, faDirectory = 0x10, faArchive = 0x20,
              faAnyFile = 0x3F;
struct TSearchRec {
    std::string Name;   // UTF-8, without the folder
    int64_t Size = 0;
    int Attr = 0;
    // The search in progress (owned; released by FindCloseEntry).
    void* FindHandle = nullptr;
    std::string Folder, Pattern;
    int ExcludeAttr = 0;
    TSearchRec() = default;
    TSearchRec(const TSearchRec&) = delete;
    TSearchRec& operator=(const TSearchRec&) = delete;
    ~TSearchRec();
};
int FindFirstEntry(const std::string& pathMask, int attr, TSearchRec& rec);
int FindNextEntry(TSearchRec& rec);
void FindCloseEntry(TSearchRec& rec);

#ifdef _WIN32
// Message boxes of the skin library. Kind: 0 warning, 1 error, 2 information,
// 3 confirmation; Buttons as the class library's dialog buttons (4 = OK).
int ShowSkinMessage(const std::string& text, int kind, unsigned buttons, int helpContext = 0);
// The same, with the box moved to (x, y) by the dialog skinning.
int ShowSkinMessageAt(const std::string& text, int kind, unsigned buttons, int x, int y);
// Where the dialog skinning places the next message box; (-1, -1): centred.
extern TPoint DialogPos;
// The width of a horizontal scroll bar's arrow as the system gives it,
// taken once at start: the skinned bars place their arrows where the
// system's own hit test expects them.
extern int ScrollBtnLength;

void ShowWarning(const std::string& text);
int ShowError(const std::string& text);
void ShowAlert();

// The shell's icon of an existing file (flags: SHGFI_* beside the icon
// flag); nullptr when the file is missing or the shell gives none.
std::unique_ptr<tw::TIcon> GetFileIcon(const std::string& fileName, unsigned flags);

bool IsWinXPUp();
int CaptionFontHeight();
// A new font like the caption font (nullptr when the query fails); the
// caller deletes it.
HFONT CreateCaptionFont();
// Processes the application's pending messages until the time has passed.
void WaitWithMessages(unsigned milliseconds);

// Published properties of the class library's objects by name (names
// without regard to case), for code that reaches a property of an object
// whose class it does not know. The table holds the properties of controls,
// forms and fonts that the skinning touches.
bool HasProperty(tw::TObject* obj, const std::string& name);
// The object a property holds; nullptr when there is no such property.
tw::TObject* GetObjectPropByName(tw::TObject* obj, const std::string& name);
// The ordinal value (a set as its bits); -1 when there is no such property.
int GetOrdPropByName(tw::TObject* obj, const std::string& name);
void SetOrdPropByName(tw::TObject* obj, const std::string& name, int value);
// Whether the set property holds the element of exactly that name.
bool SetPropHasElement(tw::TObject* obj, const std::string& propName, const std::string& elementName);
// Adds the element to the set property, or takes it out, through the set's
// text (element names separated by commas).
void ChangeSetProp(tw::TObject* obj, const std::string& propName, const std::string& elementName, bool add);
#endif

} // namespace skin
