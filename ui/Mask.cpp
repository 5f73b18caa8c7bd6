#include "ui/Mask.h"

#include <cwctype>

#include "base/WinText.h"

namespace tw {

TMaskEdit::TMaskEdit(TComponent* owner) : TCustomEdit(owner) { autoSelect_ = false; }

void TMaskEdit::SetEditMask(const std::string& m) {
    mask_ = m;
    slots_.clear();
    std::wstring w = Utf8ToWide(m);
    // Trailing fields: ";<save literals>;<blank>".
    std::wstring body = w;
    size_t semi = w.find(L';');
    if (semi != std::wstring::npos) {
        body = w.substr(0, semi);
        std::wstring rest = w.substr(semi + 1);
        size_t s2 = rest.find(L';');
        std::wstring save = rest.substr(0, s2);
        saveLiterals_ = save != L"0";
        if (s2 != std::wstring::npos && s2 + 1 < rest.size()) blank_ = rest[s2 + 1];
    }
    for (size_t i = 0; i < body.size(); ++i) {
        wchar_t c = body[i];
        switch (c) {
        case L'!':
        case L'>':
        case L'<': continue; // formatting marks without a place
        case L'\\':
            if (i + 1 < body.size()) slots_.push_back(Slot{0, body[++i], false});
            continue;
        case L'0': slots_.push_back(Slot{L'0', 0, true}); break;
        case L'9': slots_.push_back(Slot{L'9', 0, false}); break;
        case L'#': slots_.push_back(Slot{L'#', 0, false}); break;
        case L'L': slots_.push_back(Slot{L'L', 0, true}); break;
        case L'l': slots_.push_back(Slot{L'l', 0, false}); break;
        case L'A': slots_.push_back(Slot{L'A', 0, true}); break;
        case L'a': slots_.push_back(Slot{L'a', 0, false}); break;
        case L'C': slots_.push_back(Slot{L'C', 0, true}); break;
        case L'c': slots_.push_back(Slot{L'c', 0, false}); break;
        default: slots_.push_back(Slot{0, c, false}); break;
        }
    }
    maxLength_ = static_cast<int>(slots_.size());
    if (handle_) SendMessageW(handle_, EM_LIMITTEXT, slots_.size(), 0);
    SetText(Text());
}

std::wstring TMaskEdit::Blank() const {
    std::wstring r;
    for (auto& s : slots_) r += s.kind == 0 ? s.literal : blank_;
    return r;
}

bool TMaskEdit::Accepts(size_t i, wchar_t c) const {
    switch (slots_[i].kind) {
    case L'0':
    case L'9': return c >= L'0' && c <= L'9';
    case L'#': return (c >= L'0' && c <= L'9') || c == L'+' || c == L'-';
    case L'L':
    case L'l': return std::iswalpha(c) != 0;
    case L'A':
    case L'a': return std::iswalnum(c) != 0;
    case L'C':
    case L'c': return c >= 32;
    default: return false;
    }
}

void TMaskEdit::SetText(const std::string& t) {
    if (slots_.empty()) {
        TCustomEdit::SetText(t);
        return;
    }
    // Fill the places from the text: literals in the text are skipped where
    // the mask has them.
    std::wstring in = Utf8ToWide(t), out = Blank();
    size_t k = 0;
    for (size_t i = 0; i < slots_.size() && k < in.size(); ++i) {
        if (IsLiteral(i)) {
            if (in[k] == slots_[i].literal) ++k;
            continue;
        }
        while (k < in.size() && !Accepts(i, in[k]) && in[k] != blank_) ++k;
        if (k < in.size()) out[i] = in[k++];
    }
    TCustomEdit::SetText(WideToUtf8(out));
}

bool TMaskEdit::IsComplete() const {
    std::wstring t = Utf8ToWide(Text());
    for (size_t i = 0; i < slots_.size(); ++i)
        if (slots_[i].required && (i >= t.size() || t[i] == blank_)) return false;
    return true;
}

void TMaskEdit::TypeChar(wchar_t c) {
    std::wstring t = Utf8ToWide(Text());
    if (t.size() != slots_.size()) t = Blank();
    DWORD s = 0, e = 0;
    SendMessageW(handle_, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
    size_t i = s;
    while (i < slots_.size() && IsLiteral(i)) ++i;
    if (i >= slots_.size() || !Accepts(i, c)) {
        MessageBeep(MB_OK);
        return;
    }
    t[i] = c;
    SetWindowTextW(handle_, t.c_str());
    size_t next = i + 1;
    while (next < slots_.size() && IsLiteral(next)) ++next;
    SendMessageW(handle_, EM_SETSEL, next, next);
}

void TMaskEdit::EraseChar(bool backwards) {
    std::wstring t = Utf8ToWide(Text());
    if (t.size() != slots_.size()) t = Blank();
    DWORD s = 0, e = 0;
    SendMessageW(handle_, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
    if (e > s) {
        for (size_t i = s; i < e && i < t.size(); ++i)
            if (!IsLiteral(i)) t[i] = blank_;
    } else {
        size_t i = s;
        if (backwards) {
            if (i == 0) return;
            --i;
            while (i > 0 && IsLiteral(i)) --i;
        }
        if (i < t.size() && !IsLiteral(i)) t[i] = blank_;
        s = static_cast<DWORD>(i);
    }
    SetWindowTextW(handle_, t.c_str());
    SendMessageW(handle_, EM_SETSEL, s, s);
}

void TMaskEdit::WndProc(TMessage& m) {
    if (!slots_.empty() && !readOnly_) {
        if (m.Msg == WM_CHAR) {
            auto key = static_cast<wchar_t>(m.WParam);
            if (DoKeyPress(key)) return;
            if (key == 8) {
                EraseChar(true);
                return;
            }
            if (key >= 32) {
                TypeChar(key);
                return;
            }
        }
        if (m.Msg == WM_KEYDOWN && m.WParam == VK_DELETE) {
            EraseChar(false);
            return;
        }
        if (m.Msg == WM_PASTE) {
            if (OpenClipboard(handle_)) {
                if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
                    std::wstring w(static_cast<const wchar_t*>(GlobalLock(h)));
                    GlobalUnlock(h);
                    CloseClipboard();
                    SetText(WideToUtf8(w));
                    return;
                }
                CloseClipboard();
            }
            return;
        }
    }
    TCustomEdit::WndProc(m);
}

} // namespace tw
