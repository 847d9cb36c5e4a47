// The texts of a song (track names, lyrics, markers, any text event) as characters. The file format gives
// texts no encoding: songs made lately write UTF-8, older ones the Windows code page of their time. A text
// that is valid UTF-8 is taken as UTF-8, any other as Windows-1252.
#pragma once

#include <string>
#include <string_view>

namespace sonivex {

// `bytes` as UTF-8: unchanged when they are valid UTF-8 (no overlong forms, no surrogates, nothing above
// U+10FFFF, no sequence cut off), else each byte read as Windows-1252, in which all 256 bytes stand for a
// character (the five that the code page leaves undefined, 0x81, 0x8D, 0x8F, 0x90 and 0x9D, for the control
// characters of the same numbers).
std::string TextAsUtf8(std::string_view bytes);

// Whether `bytes` are valid UTF-8 in the sense of TextAsUtf8.
bool IsValidUtf8(std::string_view bytes);

// A text of many lines (a report) as UTF-8, each line read by TextAsUtf8 on its own, so that a line in one
// encoding does not change how the others read. Lines end at LF; the line ends stay as they are.
std::string LinesAsUtf8(std::string_view text);

}  // namespace sonivex
