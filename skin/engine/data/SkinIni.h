#pragma once
// INI text held in memory, as a skin's "Options.dat" is read: sections and
// keys in file order, names compared without regard to case, the value the
// text after the first "=".
#include <string>
#include <vector>

namespace skin {

class TsIniText {
public:
    TsIniText() = default;
    explicit TsIniText(const std::string& text) { SetText(text); }
    void SetText(const std::string& text);

    std::vector<std::string> SectionNames() const;
    std::vector<std::string> SectionKeys(const std::string& section) const;

    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    // Decimal, "$" or "0x" hexadecimal; anything else gives the default.
    int ReadInteger(const std::string& section, const std::string& key, int def) const;

private:
    struct TKey {
        std::string Name, Value;
    };
    struct TSection {
        std::string Name;
        std::vector<TKey> Keys;
    };
    const TSection* Find(const std::string& section) const;
    const TKey* FindKey(const std::string& section, const std::string& key) const;
    std::vector<TSection> sections_;
};

} // namespace skin
