#include "tests/support/Fixtures.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tw::test {

namespace {

const JsonValue kNull;

class Parser {
public:
    explicit Parser(const std::string& s) : s_(s) {}

    JsonValue Parse() {
        JsonValue v = Value();
        Skip();
        if (i_ != s_.size()) Fail("trailing text");
        return v;
    }

private:
    [[noreturn]] void Fail(const char* what) {
        throw std::runtime_error(std::string("JSON: ") + what + " at " + std::to_string(i_));
    }
    void Skip() {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t')) ++i_;
    }
    bool Eat(char c) {
        Skip();
        if (i_ < s_.size() && s_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }
    std::string Str() {
        if (!Eat('"')) Fail("string expected");
        std::string out;
        while (i_ < s_.size() && s_[i_] != '"') {
            char c = s_[i_++];
            if (c == '\\' && i_ < s_.size()) {
                char e = s_[i_++];
                switch (e) {
                case 'n': out += '\n'; break;
                case 't': out += '\t'; break;
                case 'r': out += '\r'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'u':
                    // Only ASCII escapes occur in ffprobe's output here.
                    out += static_cast<char>(std::strtol(s_.substr(i_, 4).c_str(), nullptr, 16) & 0x7F);
                    i_ += 4;
                    break;
                default: out += e; break;
                }
            } else {
                out += c;
            }
        }
        if (i_ >= s_.size()) Fail("unterminated string");
        ++i_;
        return out;
    }
    JsonValue Value() {
        Skip();
        if (i_ >= s_.size()) Fail("value expected");
        JsonValue v;
        const char c = s_[i_];
        if (c == '{') {
            ++i_;
            v.kind = JsonValue::Object;
            if (Eat('}')) return v;
            do {
                Skip();
                std::string key = Str();
                if (!Eat(':')) Fail("':' expected");
                v.members[key] = Value();
            } while (Eat(','));
            if (!Eat('}')) Fail("'}' expected");
        } else if (c == '[') {
            ++i_;
            v.kind = JsonValue::Array;
            if (Eat(']')) return v;
            do v.items.push_back(Value());
            while (Eat(','));
            if (!Eat(']')) Fail("']' expected");
        } else if (c == '"') {
            v.kind = JsonValue::String;
            v.text = Str();
        } else if (s_.compare(i_, 4, "true") == 0) {
            v.kind = JsonValue::Bool;
            v.boolean = true;
            i_ += 4;
        } else if (s_.compare(i_, 5, "false") == 0) {
            v.kind = JsonValue::Bool;
            i_ += 5;
        } else if (s_.compare(i_, 4, "null") == 0) {
            i_ += 4;
        } else {
            char* end = nullptr;
            v.number = std::strtod(s_.c_str() + i_, &end);
            if (end == s_.c_str() + i_) Fail("number expected");
            v.kind = JsonValue::Number;
            i_ = static_cast<size_t>(end - s_.c_str());
        }
        return v;
    }

    const std::string& s_;
    size_t i_ = 0;
};

} // namespace

const JsonValue& JsonValue::operator[](const std::string& key) const {
    auto it = members.find(key);
    return it == members.end() ? kNull : it->second;
}

const JsonValue& JsonValue::operator[](size_t index) const { return index < items.size() ? items[index] : kNull; }

int JsonValue::AsInt() const {
    if (kind == Number) return static_cast<int>(number);
    if (kind == String) return static_cast<int>(std::strtol(text.c_str(), nullptr, 0));
    return 0;
}

std::string JsonValue::AsString() const { return kind == String ? text : std::string(); }

JsonValue ParseJson(const std::string& text) { return Parser(text).Parse(); }

JsonValue LoadJsonFile(const std::string& fileName) {
    std::ifstream f(fileName, std::ios::binary);
    if (!f) throw std::runtime_error("cannot read " + fileName);
    std::stringstream ss;
    ss << f.rdbuf();
    return ParseJson(ss.str());
}

} // namespace tw::test
