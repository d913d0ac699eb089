// Which relative paths of an index entry stay inside the install folder.
#include <gtest/gtest.h>

#include "format/entry_paths.h"

namespace tessaly {
namespace {

TEST(IsContainedRelativePath, AcceptsPathsThatStayInside) {
    for (const char* path :
         {"", "a", "bin\\main.exe", "bin/main.exe", "a\\.\\b", "a..b\\c", "..a", "a.\\b",
          "数据\\文件.dat", "con-tools\\x", "com0", "lpt10", "COM0 .x", "lpt10 .x", "auxx .dll"}) {
        SCOPED_TRACE(path);
        EXPECT_TRUE(IsContainedRelativePath(path));
    }
}

TEST(IsContainedRelativePath, RefusesEveryWayOut) {
    for (const char* path : {"..",
                             "..\\evil.txt",
                             "../evil.txt",
                             "a\\..\\..\\b",
                             "a/../../b",
                             "a\\../..\\b",
                             "bin\\..\\..",
                             "a\\..",
                             "a/..",
                             "\\evil.txt",
                             "/evil.txt",
                             "C:\\evil.txt",
                             "C:x",
                             "C:/x",
                             "c:",
                             "\\\\host\\share\\x",
                             "//host/share/x",
                             "\\\\?\\C:\\x",
                             "\\\\.\\PhysicalDrive0",
                             "\\\\.\\C:",
                             "file:stream",
                             "a\\b:c",
                             ".. \\x",
                             "...\\x",
                             "... \\x",
                             "a\\. .\\b",
                             "NUL",
                             "con",
                             "bin\\aux.txt",
                             "COM1",
                             "lpt9.log",
                             "nul.txt ",
                             "conout$",
                             "PRN",
                             "NUL .txt",  // spaces or dots that end the stem do not hide a device
                             "con  .log",
                             "bin\\AUX .dll",
                             "COM1 .bin",
                             "lpt1 .x",
                             "CONIN$ .x",
                             "a\\nul . .txt\\b"}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(IsContainedRelativePath(path));
    }
}

}  // namespace
}  // namespace tessaly
