// Code page 936 to UTF-16 and back through the platform's code page tables.
#include "common/cp936_text_win.h"

#include <algorithm>
#include <cwchar>

namespace tessaly {

namespace {

constexpr UINT CODE_PAGE_936 = 936;

}  // namespace

bool Cp936ToUtf16(const char* text, std::u16string& utf16) {
    utf16.clear();
    const int length =
        MultiByteToWideChar(CODE_PAGE_936, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (length <= 0) {
        return false;
    }
    utf16.resize(static_cast<std::size_t>(length));
    if (MultiByteToWideChar(CODE_PAGE_936, MB_ERR_INVALID_CHARS, text, -1,
                            reinterpret_cast<wchar_t*>(&utf16[0]), length) != length) {
        utf16.clear();
        return false;
    }
    utf16.resize(static_cast<std::size_t>(length - 1));  // without the terminator
    return true;
}

std::u16string Cp936ToUtf16(const char* text) {
    std::u16string utf16;
    Cp936ToUtf16(text, utf16);
    return utf16;
}

bool KeepWideFolder(const wchar_t* answer, WideFolder& folder) {
    folder = WideFolder{};
    const std::size_t length = std::wcslen(answer);
    if (length >= WIDE_FOLDER_CAPACITY) {
        return false;
    }
    std::copy(answer, answer + length, folder.wide);
    // No best fit: a character code page 936 cannot write becomes "?", never a look-alike that
    // would name another folder.
    if (WideCharToMultiByte(CODE_PAGE_936, WC_NO_BEST_FIT_CHARS, answer, -1, folder.text,
                            static_cast<int>(FOLDER_TEXT_CAPACITY), "?", nullptr) == 0) {
        folder = WideFolder{};
        return false;
    }
    return true;
}

}  // namespace tessaly
