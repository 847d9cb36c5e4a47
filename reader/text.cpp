#include "text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace sonivex {

std::string Str(std::int64_t x) {
    char text[24];
    text[0] = ' ';
    char* from = x >= 0 ? text : text + 1;
    char* end = std::to_chars(text + 1, text + sizeof text, x).ptr;
    return std::string(from, end);
}

std::string Dec(std::int64_t x) {
    char text[24];
    return std::string(text, std::to_chars(text, text + sizeof text, x).ptr);
}

std::string PadRight(std::string_view s, std::size_t width) {
    std::string out(s);
    if (out.size() < width) out.append(width - out.size(), ' ');
    return out;
}

std::string PadLeft(std::string_view s, std::size_t width) {
    std::string out;
    if (s.size() < width) out.assign(width - s.size(), ' ');
    out.append(s);
    return out;
}

std::string TwoDigits(std::int64_t x) {
    std::string d = std::to_string(x < 0 ? -x : x);
    if (d.size() < 2) d = std::string(1, '0') + d;
    if (x < 0) d = std::string(1, '-') + d;
    return d;
}

std::string TrimBlanks(std::string_view s) {
    std::size_t b = s.find_first_not_of(' ');
    if (b == std::string_view::npos) return {};
    std::size_t e = s.find_last_not_of(' ');
    return std::string(s.substr(b, e - b + 1));
}

std::string UpperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

namespace {

bool IsIgnored(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// Hex or octal digits after &H or &O; the value is read as a 32-bit pattern, as a typed literal would be.
double RadixValue(std::string_view s, std::size_t i, int radix) {
    std::uint64_t v = 0;
    bool any = false;
    for (; i < s.size(); ++i) {
        char c = s[i];
        if (IsIgnored(c)) continue;
        int d = -1;
        if (c >= '0' && c <= '7') d = c - '0';
        else if (radix == 16 && c >= '8' && c <= '9') d = c - '0';
        else if (radix == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (radix == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        if (d < 0) break;
        v = (v * radix + d) & 0xFFFFFFFFu;
        any = true;
    }
    if (!any) return 0;
    if (v <= 0xFFFF) return static_cast<double>(static_cast<std::int16_t>(v));
    return static_cast<double>(static_cast<std::int32_t>(v));
}

}  // namespace

double Val(std::string_view s) {
    std::string text;  // the number with the ignored characters taken out
    std::size_t i = 0;
    while (i < s.size() && IsIgnored(s[i])) ++i;
    if (i + 1 < s.size() && s[i] == '&') {
        char r = s[i + 1];
        if (r == 'H' || r == 'h') return RadixValue(s, i + 2, 16);
        if (r == 'O' || r == 'o') return RadixValue(s, i + 2, 8);
    }
    bool point = false, exponent = false, expDigits = false, digits = false;
    for (; i < s.size(); ++i) {
        char c = s[i];
        if (IsIgnored(c)) continue;
        if (c >= '0' && c <= '9') {
            text += c;
            (exponent ? expDigits : digits) = true;
        } else if ((c == '+' || c == '-') && (text.empty() || (exponent && (text.back() == 'E')))) {
            text += c;
        } else if (c == '.' && !point && !exponent) {
            text += c;
            point = true;
        } else if ((c == 'E' || c == 'e' || c == 'D' || c == 'd') && !exponent && digits) {
            text += 'E';
            exponent = true;
        } else {
            break;
        }
    }
    if (!digits) return 0;
    if (exponent && !expDigits) {
        while (!text.empty() && (text.back() == 'E' || text.back() == '+' || text.back() == '-')) text.pop_back();
    }
    return std::strtod(text.c_str(), nullptr);
}

}  // namespace sonivex
