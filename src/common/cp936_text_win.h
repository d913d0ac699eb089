// The conversions between the installer's code page 936 texts and the UTF-16 that Windows' wide
// functions take. Always code page 936, never the machine's ANSI code page: the texts are code page
// 936 whatever Windows they run on.
#pragma once

#include <windows.h>

#include <string>

#include "common/cp936_text.h"

namespace tessaly {

// Converts NUL-terminated code page 936 text to UTF-16 (MultiByteToWideChar with
// MB_ERR_INVALID_CHARS). False, with `utf16` empty, for bytes that are not code page 936.
bool Cp936ToUtf16(const char* text, std::u16string& utf16);

// The UTF-16 text, or an empty one when `text` is not code page 936.
std::u16string Cp936ToUtf16(const char* text);

// Keeps the folder Windows answered: `answer` as it is, and its code page 936 text, with "?" for
// every character code page 936 cannot write. False when either does not fit.
bool KeepWideFolder(const wchar_t* answer, WideFolder& folder);

inline const wchar_t* AsWide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

}  // namespace tessaly
