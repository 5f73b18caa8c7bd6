// An edit with an input mask (digits at fixed places between literals), as
// used for time texts such as "00:00:00.000".
#pragma once

#include "ui/StdCtrls.h"

namespace tw {

// Mask syntax: "!90:00:00.000;1;_" - '0' a required digit, '9' an optional
// digit, '#' digit or sign, 'L'/'l' letter, 'A'/'a' letter or digit, 'C'/'c'
// any character, '\' makes the next character literal, other characters are
// literals; ";1" keeps literals in Text, ";_" is the blank character.
class TMaskEdit : public TCustomEdit {
public:
    explicit TMaskEdit(TComponent* owner);
    const std::string& EditMask() const { return mask_; }
    void SetEditMask(const std::string& m);
    // Text with the blanks of unfilled places.
    std::string EditText() const { return TCustomEdit::Text(); }
    void SetText(const std::string& t) override;
    // False while a required place is blank.
    bool IsMasked() const { return !slots_.empty(); }
    bool IsComplete() const;
    void WndProc(TMessage& m) override;

protected:
    struct Slot { wchar_t kind; wchar_t literal; bool required; };
    bool IsLiteral(size_t i) const { return slots_[i].kind == 0; }
    bool Accepts(size_t i, wchar_t c) const;
    std::wstring Blank() const;
    void TypeChar(wchar_t c);
    void EraseChar(bool backwards);
    std::string mask_;
    std::vector<Slot> slots_;
    wchar_t blank_ = L'_';
    bool saveLiterals_ = true;
};

} // namespace tw
