// A small writer of compact JSON text: objects, arrays, strings, numbers, booleans and null, with the commas
// placed for the caller.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sonivex {

// Appends `text` to `out` as a JSON string literal, quotes included. Text that is valid UTF-8 is kept as it
// is; text that is not (a Latin-1 name from an old song) is read as Latin-1, each byte above 127 written as
// \u00XX, so the result is always valid JSON. Control characters are escaped.
void AppendJsonString(std::string& out, std::string_view text);

// Appends a number: the shortest text that reads back as the same double; null for infinities and NaN.
void AppendJsonNumber(std::string& out, double value);

class JsonWriter {
public:
    JsonWriter& BeginObject() { return Open('{'); }
    JsonWriter& EndObject() { return Close('}'); }
    JsonWriter& BeginArray() { return Open('['); }
    JsonWriter& EndArray() { return Close(']'); }

    // The name of the next member of the object being written.
    JsonWriter& Key(std::string_view name) {
        Separate();
        AppendJsonString(out_, name);
        out_ += ':';
        afterKey_ = true;
        return *this;
    }
    JsonWriter& String(std::string_view text) {
        Separate();
        AppendJsonString(out_, text);
        return *this;
    }
    JsonWriter& Int(std::int64_t value) {
        Separate();
        out_ += std::to_string(value);
        return *this;
    }
    JsonWriter& Number(double value) {
        Separate();
        AppendJsonNumber(out_, value);
        return *this;
    }
    JsonWriter& Bool(bool value) {
        Separate();
        out_ += value ? "true" : "false";
        return *this;
    }
    JsonWriter& Null() {
        Separate();
        out_ += "null";
        return *this;
    }

    // Shorthands for one member.
    JsonWriter& Field(std::string_view name, std::string_view text) { return Key(name).String(text); }
    JsonWriter& Field(std::string_view name, const char* text) { return Key(name).String(text); }
    JsonWriter& Field(std::string_view name, std::int64_t value) { return Key(name).Int(value); }
    JsonWriter& Field(std::string_view name, int value) { return Key(name).Int(value); }
    JsonWriter& Field(std::string_view name, double value) { return Key(name).Number(value); }
    JsonWriter& Field(std::string_view name, bool value) { return Key(name).Bool(value); }

    const std::string& Text() const { return out_; }

private:
    JsonWriter& Open(char bracket) {
        Separate();
        out_ += bracket;
        firstInLevel_.push_back(true);
        return *this;
    }
    JsonWriter& Close(char bracket) {
        out_ += bracket;
        if (!firstInLevel_.empty()) firstInLevel_.pop_back();
        return *this;
    }
    // A comma before every value of an array and every member of an object but the first.
    void Separate() {
        if (afterKey_) {
            afterKey_ = false;
            return;
        }
        if (firstInLevel_.empty()) return;
        if (!firstInLevel_.back()) out_ += ',';
        firstInLevel_.back() = false;
    }

    std::string out_;
    std::vector<bool> firstInLevel_;
    bool afterKey_ = false;
};

}  // namespace sonivex
