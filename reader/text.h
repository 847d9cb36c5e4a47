// Number and text forms shared by the report, the log and the event record file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sonivex {

// The signed decimal form: a blank before zero and positive numbers, "-" before negative ones.
std::string Str(std::int64_t x);

// Plain decimal, no leading blank.
std::string Dec(std::int64_t x);

// Left-aligned in a field of at least `width` characters (blanks added on the right; never cut).
std::string PadRight(std::string_view s, std::size_t width);

// Right-aligned in a field of at least `width` characters (blanks added on the left; never cut).
std::string PadLeft(std::string_view s, std::size_t width);

// A whole number written with at least two digits ("05", "12", "123").
std::string TwoDigits(std::int64_t x);

// Removes leading and trailing blanks (only the blank character itself).
std::string TrimBlanks(std::string_view s);


std::string UpperAscii(std::string_view s);
std::string LowerAscii(std::string_view s);

// The number at the start of a text, as a user would type it: blanks, tabs and line feeds are ignored
// anywhere, an optional sign, digits with one decimal point and an exponent ("1.5E3"), or &H / &O for hex
// and octal. Reading stops at the first character that cannot continue the number; no number reads 0.
double Val(std::string_view s);

}  // namespace sonivex
