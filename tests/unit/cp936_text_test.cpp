// Which bytes are code page 936 text, and the UTF-16 paths composed under folders Windows named.
// The conversion is iconv's here; under Wine the installer's own runs the same rules.
#include "common/cp936_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "format/cp936_bytes.h"
#include "support/text_encoding.h"

namespace tessaly {
namespace {

TEST(IsCp936Text, TakesWholeCharactersOnly) {
    struct Case {
        const char* name;
        std::string bytes;
        bool valid;
    } cases[] = {
        {"empty", "", true},
        {"ASCII", "bin\\main.exe", true},
        {"Chinese", "数据\\据数.txt", true},
        // 0x80 is the euro sign; a backslash or a bar may be a trail byte.
        {"euro sign", "\x80", true},
        {"backslash as trail byte", "\x81\x5C", true},
        {"0x80 as trail byte", "\x81\x80", true},  // 亐
        {"last trail byte", "\xFE\xFE", true},
        {"0xFF", "a\xFF", false},
        {"lead byte at the end", "数\xCA", false},
        {"lead byte before a control byte", "\xCA\x1F", false},
        {"lead byte before DEL", "\xCA\x7F", false},
        {"lead byte before 0xFF", "\xCA\xFF", false},
        // UTF-8 of 数据 (E6 95, B0 E6, 8D AE) reads as three characters: no byte rule can tell.
        {"UTF-8 that happens to pair up", "\xE6\x95\xB0\xE6\x8D\xAE", true},
        {"UTF-8 that does not", "\xC3\xA9\x41\xFF", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsCp936Text(c.bytes.c_str()), c.valid);
    }
}

WideFolder Folder(const std::u16string& wide, const char* text) {
    WideFolder folder = {};
    wide.copy(folder.wide, wide.size());
    std::strcpy(folder.text, text);
    return folder;
}

TEST(ComposeWidePath, KeepsTheFolderAsWindowsNamedItAndConvertsTheRest) {
    // A desktop that code page 936 cannot write: its text holds "?" where Windows has "ö".
    const WideFolder programFiles = Folder(u"C:\\Program Files", "C:\\Program Files");
    const WideFolder desktop = Folder(u"C:\\Users\\J\u00f6rg\\Desktop", "C:\\Users\\J?rg\\Desktop");
    const WideFolder nested = Folder(u"X:\\nested", "C:\\Program Files\\Tessaly");
    const WideFolder unset = {};
    struct Case {
        const char* path;
        bool composed;
        std::u16string wide;
    } cases[] = {
        {"C:\\Users\\J?rg\\Desktop\\说明书.lnk", true,
         u"C:\\Users\\J\u00f6rg\\Desktop\\说明书.lnk"},
        {"C:\\Program Files\\Tessaly\\数据\\据数.txt", true,
         u"C:\\Program Files\\Tessaly\\数据\\据数.txt"},
        // Under no folder: converted as a whole.
        {"D:\\其他\\a.txt", true, u"D:\\其他\\a.txt"},
        {"C:\\Users\\J?rg\\Desktop\\bad\xFF.lnk", false, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::u16string wide = u"sentinel";
        EXPECT_EQ(ComposeWidePath(c.path, {&unset, &programFiles, &desktop},
                                  test::IconvCp936ToUtf16, wide),
                  c.composed);
        if (c.composed) {
            EXPECT_EQ(wide, c.wide);
        }
    }
    // The longest folder text that begins the path wins, in any order.
    std::u16string wide;
    ASSERT_TRUE(ComposeWidePath(
        "C:\\Program Files\\Tessaly\\a", {&programFiles, &nested},
        [](const char* rest, std::u16string& out) {
            out.assign(rest, rest + std::strlen(rest));
            return true;
        },
        wide));
    EXPECT_EQ(wide, u"X:\\nested\\a");
}

}  // namespace
}  // namespace tessaly
