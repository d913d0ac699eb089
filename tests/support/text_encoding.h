// The tests' one text conversion, natively with iconv: code page 936 to UTF-8 and to UTF-16.
// Code page 936 is the installer's ANSI code page; any other pair iconv knows converts too (a
// link's UTF-16 strings). Tests of the program's and the publisher's own conversions compare with
// these, never call them.
#pragma once

#include <gtest/gtest.h>
#include <iconv.h>

#include <optional>
#include <string>

namespace tessaly::test {

// `text` converted from the encoding `from` to `to`, named as iconv names them ("CP936", "UTF-8",
// "UTF-16LE"); nothing when `text` is not valid in `from` or `to` cannot hold it.
inline std::optional<std::string> ConvertText(const std::string& text, const char* from,
                                              const char* to) {
    if (text.empty()) {
        return text;
    }
    iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    std::string input = text;
    std::string output(text.size() * 4 + 4, '\0');  // room for any of these pairs
    char* in = input.data();
    char* out = output.data();
    std::size_t inLeft = input.size();
    std::size_t outLeft = output.size();
    const std::size_t converted = iconv(converter, &in, &inLeft, &out, &outLeft);
    iconv_close(converter);
    if (converted == static_cast<std::size_t>(-1)) {
        return std::nullopt;
    }
    output.resize(output.size() - outLeft);
    return output;
}

// The UTF-8 of the code page 936 `cp936`, as the Wine tests compare what a user sees; a text that
// does not convert fails the test and gives "".
inline std::string Cp936ToUtf8(const std::string& cp936) {
    const std::optional<std::string> utf8 = ConvertText(cp936, "CP936", "UTF-8");
    EXPECT_TRUE(utf8) << "not code page 936: " << testing::PrintToString(cp936);
    return utf8.value_or("");
}

// The conversion Windows makes from code page 936 to UTF-16, the stand-in the unit tests hand to
// the code that takes the platform's: false, with `utf16` empty, when `text` is not code page 936.
inline bool IconvCp936ToUtf16(const char* text, std::u16string& utf16) {
    utf16.clear();
    const std::optional<std::string> bytes = ConvertText(text, "CP936", "UTF-16LE");
    if (!bytes) {
        return false;
    }
    for (std::size_t i = 0; i + 1 < bytes->size(); i += 2) {
        utf16.push_back(static_cast<char16_t>(static_cast<unsigned char>((*bytes)[i]) |
                                              static_cast<unsigned char>((*bytes)[i + 1]) << 8));
    }
    return true;
}

// The same, failing the test for a text that does not convert.
inline std::u16string Cp936ToUtf16(const char* text) {
    std::u16string utf16;
    EXPECT_TRUE(IconvCp936ToUtf16(text, utf16))
        << "not code page 936: " << testing::PrintToString(std::string(text));
    return utf16;
}

}  // namespace tessaly::test
