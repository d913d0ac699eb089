// Which relative paths of an index entry stay inside the install folder.
#include <gtest/gtest.h>

#include "format/entry_paths.h"

namespace tessaly {
namespace {

TEST(IsContainedRelativePath, AcceptsPathsThatStayInside) {
    for (const char* path : {"", "a", "bin\\main.exe", "bin/main.exe", "a\\.\\b", "a..b\\c", "..a",
                             "a.\\b", "数据\\文件.dat", "con-tools\\x", "com0", "lpt10"}) {
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
                             "conout$"}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(IsContainedRelativePath(path));
    }
}

}  // namespace
}  // namespace tessaly
