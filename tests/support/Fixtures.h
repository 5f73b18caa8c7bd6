// Reading the committed reference recordings' ffprobe JSON: a small JSON
// reader that is enough for the few fields the tests compare.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tw::test {

class JsonValue {
public:
    enum Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue> members;

    // Member by key; a shared null value when absent.
    const JsonValue& operator[](const std::string& key) const;
    const JsonValue& operator[](size_t index) const;
    bool Has(const std::string& key) const { return members.count(key) != 0; }
    size_t Size() const { return kind == Array ? items.size() : members.size(); }
    int AsInt() const;          // numbers, and strings such as "0x300"
    std::string AsString() const;
};

// Throws std::runtime_error on malformed text.
JsonValue ParseJson(const std::string& text);
JsonValue LoadJsonFile(const std::string& fileName);

} // namespace tw::test
