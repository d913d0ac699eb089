// The conversion Windows makes from code page 936 to UTF-16, done natively with iconv: the
// stand-in the tests hand to the code that takes the platform's conversion.
#pragma once

#include <iconv.h>

#include <string>

namespace tessaly::test {

// False, with `utf16` empty, when `text` is not code page 936 or iconv cannot convert it.
inline bool IconvCp936ToUtf16(const char* text, std::u16string& utf16) {
    utf16.clear();
    iconv_t converter = iconv_open("UTF-16LE", "CP936");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    std::string in(text);
    std::string out(in.size() * 4 + 4, '\0');
    char* inPointer = &in[0];
    char* outPointer = &out[0];
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    const std::size_t converted = iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft);
    iconv_close(converter);
    if (converted == static_cast<std::size_t>(-1)) {
        return false;
    }
    for (std::size_t i = 0; i + 1 < out.size() - outLeft; i += 2) {
        utf16.push_back(static_cast<char16_t>(static_cast<unsigned char>(out[i]) |
                                              static_cast<unsigned char>(out[i + 1]) << 8));
    }
    return true;
}

}  // namespace tessaly::test
