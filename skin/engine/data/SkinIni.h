#pragma once
// INI text held in memory, as a skin's "Options.dat" is read: sections and
// keys in file order, names compared without regard to case, the value the
// text after the first "=".
//
// Sections and keys are found through indexes by their names (case aside): a
// skin is anyone's file, and a look-up that scanned every section made a load
// quadratic in the number of sections (minutes for a file of a few thousand).
// A section named twice is one section (its keys in file order); of two keys
// of the same name in a section the first counts.
#include <string>
#include <unordered_map>
#include <vector>

namespace skin {

class TsIniText {
public:
    // More than any skin has: a text beyond them is read no further and
    // counts as overflowed (its reader refuses it).
    static constexpr size_t MaxSections = 4096;
    static constexpr size_t MaxKeys = 65536;
    static constexpr size_t MaxLineLength = 4096;

    TsIniText() = default;
    explicit TsIniText(const std::string& text) { SetText(text); }
    void SetText(const std::string& text);

    std::vector<std::string> SectionNames() const;
    std::vector<std::string> SectionKeys(const std::string& section) const;

    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    // Decimal, "$" or "0x" hexadecimal; anything else gives the default.
    int ReadInteger(const std::string& section, const std::string& key, int def) const;
    bool Overflowed() const { return overflowed_; }

private:
    // Names hashed and compared as SameText compares them, without making
    // lower-cased copies for every look-up.
    struct TNoCaseHash {
        size_t operator()(const std::string& s) const;
    };
    struct TNoCaseEqual {
        bool operator()(const std::string& a, const std::string& b) const;
    };
    using TNameMap = std::unordered_map<std::string, size_t, TNoCaseHash, TNoCaseEqual>;
    struct TKey {
        std::string Name, Value;
    };
    struct TSection {
        std::string Name;
        std::vector<TKey> Keys;
        TNameMap KeyIndex;   // name -> the first key of that name
    };
    const TSection* Find(const std::string& section) const;
    const TKey* FindKey(const std::string& section, const std::string& key) const;
    std::vector<TSection> sections_;
    TNameMap sectionIndex_;   // name -> section
    bool overflowed_ = false;
};

} // namespace skin
