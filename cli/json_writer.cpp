#include "json_writer.h"

#include <charconv>
#include <cmath>

#include "midi/song_text.h"

namespace sonivex {

namespace {

void AppendEscape(std::string& out, unsigned code) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\u00";
    out += kHex[(code >> 4) & 0xF];
    out += kHex[code & 0xF];
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
    const bool utf8 = IsValidUtf8(text);
    out += '"';
    for (const char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        switch (b) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (b < 0x20 || (b >= 0x80 && !utf8)) {
                    AppendEscape(out, b);
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
}

void AppendJsonNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char buffer[32];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, r.ptr);
}

}  // namespace sonivex
