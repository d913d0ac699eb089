// Code page 936 text at the Windows edge. The installer keeps every text in code page 936 (its own
// literals and the index's columns, byte for byte) and hands Windows only UTF-16, converted from
// code page 936 whatever the machine's ANSI code page is. The rule here needs no platform: how
// a path composed in code page 936 under a folder that Windows named in UTF-16 becomes the UTF-16
// path Windows is handed. The conversion itself is the platform's (cp936_text_win.h), handed in.
// Which bytes are code page 936 text is the package format's rule (format/cp936_bytes.h).
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>

namespace tessaly {

// The reason a failure line gives for a text that cannot reach Windows because it is not code page
// 936.
inline constexpr char NOT_CODE_PAGE_936_REASON[] = "not code page 936";

// Converts NUL-terminated code page 936 text to UTF-16; false when it is not code page 936.
using Cp936Converter = bool (*)(const char* text, std::u16string& utf16);

constexpr std::size_t WIDE_FOLDER_CAPACITY = 260;  // units, terminator included (MAX_PATH)
constexpr std::size_t FOLDER_TEXT_CAPACITY = 512;  // bytes, terminator included

// A folder that Windows named (Program Files, the desktop): its name as Windows gave it, and its
// code page 936 text, from which the installer composes its paths. Where code page 936 cannot
// write a character of the name, the text holds "?" for it, and only `wide` reaches Windows.
struct WideFolder {
    char16_t wide[WIDE_FOLDER_CAPACITY];
    char text[FOLDER_TEXT_CAPACITY];
};

// The UTF-16 path for the code page 936 `path`: when `path` begins with the (non-empty) text of
// one of `folders`, that folder's wide name followed by the rest of `path` converted, the longest
// such text winning; otherwise all of `path` converted. False when what is converted is not code
// page 936.
bool ComposeWidePath(const char* path, std::initializer_list<const WideFolder*> folders,
                     Cp936Converter convert, std::u16string& wide);

}  // namespace tessaly
