// tessaly-pack build: the package tree it writes, and everything it refuses.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "format/install_entry.h"
#include "pack/build_command.h"
#include "pack/index_check.h"
#include "tools/pack_test_support.h"

namespace tessaly::pack::testing {
namespace {

std::string Joined(const std::vector<std::string>& lines) {
    std::string joined;
    for (const std::string& line : lines) {
        joined += line + "\n";
    }
    return joined;
}

TEST(BuildPackage, WritesFoldersParentsFirstThenDownloadsThenLinksInTheOrderGiven) {
    ScratchDir scratch;
    const fs::path staging = scratch / "staging";
    WriteTestFile(staging / "bin/main.exe", "MAIN");
    WriteTestFile(staging / "数据/子目录/文件.txt", "DATA");
    WriteTestFile(staging / "readme.txt", "DATA");
    fs::create_directories(staging / "empty");

    const BuildResult result = BuildPackage(
        {staging,
         scratch / "out",
         {{Launch, "readme.txt", "", "--launch readme.txt"},
          {Shortcut, "bin\\main.exe", "Tessaly应用", "--shortcut bin\\main.exe=Tessaly应用"}}});
    ASSERT_EQ(result.problems, std::vector<std::string>{});

    const std::string index = ReadWholeFile(scratch / "out/AppData/FileList.txt");
    // 数据 is CA FD BE DD, 子目录 D7 D3 C4 BF C2 BC, 文件 CE C4 BC FE and 应用 D3 A6 D3 C3.
    EXPECT_EQ(index,
              "1|bin|\r\n"
              "1|empty|\r\n"
              "1|\xCA\xFD\xBE\xDD|\r\n"
              "1|\xCA\xFD\xBE\xDD\\\xD7\xD3\xC4\xBF\xC2\xBC|\r\n"
              "0|objects/" +
                  Sha("MAIN") +
                  "|bin\\main.exe\r\n"
                  "0|objects/" +
                  Sha("DATA") +
                  "|readme.txt\r\n"
                  "0|objects/" +
                  Sha("DATA") +
                  "|\xCA\xFD\xBE\xDD\\\xD7\xD3\xC4\xBF\xC2\xBC\\\xCE\xC4\xBC\xFE.txt\r\n"
                  "3|readme.txt|\r\n"
                  "2|bin\\main.exe|Tessaly\xD3\xA6\xD3\xC3\r\n");
    EXPECT_EQ(ReadWholeFile(scratch / ("out/AppData/objects/" + Sha("MAIN"))), "MAIN");
    EXPECT_EQ(ReadWholeFile(scratch / ("out/AppData/objects/" + Sha("DATA"))), "DATA");
    EXPECT_EQ(result.folders, 4u);
    EXPECT_EQ(result.files, 3u);
    EXPECT_EQ(result.objects, 2u);
    EXPECT_EQ(result.newObjects, 2u);

    const std::vector<Finding> findings = CheckFileList(index);
    EXPECT_TRUE(findings.empty()) << FormatFinding("FileList.txt", findings.front());
}

TEST(BuildPackage, ANewReleaseKeepsTheObjectsOfTheLastOne) {
    ScratchDir scratch;
    const fs::path staging = scratch / "staging";
    WriteTestFile(staging / "app.exe", "release 1");
    WriteTestFile(staging / "data.bin", "same");
    ASSERT_TRUE(BuildPackage({staging, scratch / "out", {}}).problems.empty());

    WriteTestFile(staging / "app.exe", "release 2");
    const BuildResult second = BuildPackage({staging, scratch / "out", {}});
    ASSERT_TRUE(second.problems.empty());
    EXPECT_EQ(second.newObjects, 1u);
    EXPECT_EQ(ReadWholeFile(scratch / ("out/AppData/objects/" + Sha("release 1"))), "release 1");
    EXPECT_EQ(
        ReadWholeFile(scratch / "out/AppData/FileList.txt"),
        "0|objects/" + Sha("release 2") + "|app.exe\r\n0|objects/" + Sha("same") + "|data.bin\r\n");

    // An object damaged on disk is stored again, not trusted for its name.
    WriteTestFile(scratch / ("out/AppData/objects/" + Sha("same")), "SAME");
    const BuildResult third = BuildPackage({staging, scratch / "out", {}});
    ASSERT_TRUE(third.problems.empty());
    EXPECT_EQ(third.newObjects, 1u);
    EXPECT_EQ(ReadWholeFile(scratch / ("out/AppData/objects/" + Sha("same"))), "same");
}

// A staging folder that build refuses: besides a.exe, which every row has, the files (name and
// bytes), the folder and the symbolic link to a.exe that it holds; the links asked for, and a part
// of the one problem named.
struct RefusalRow {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<LinkRequest> links;
    const char* problem;
    std::string folder = "";
    std::string symlink = "";
};

class RefusedStaging : public ::testing::TestWithParam<RefusalRow> {};

TEST_P(RefusedStaging, NamesItsProblemAndWritesNothing) {
    const RefusalRow& row = GetParam();
    ScratchDir scratch;
    const fs::path staging = scratch / "staging";
    WriteTestFile(staging / "a.exe", "program");
    for (const auto& [name, bytes] : row.files) {
        WriteTestFile(staging / name, bytes);
    }
    if (!row.folder.empty()) {
        fs::create_directories(staging / row.folder);
    }
    if (!row.symlink.empty()) {
        fs::create_symlink("a.exe", staging / row.symlink);
    }
    const BuildResult result = BuildPackage({staging, scratch / "out", row.links});
    ASSERT_EQ(result.problems.size(), 1u) << Joined(result.problems);
    EXPECT_NE(result.problems[0].find(row.problem), std::string::npos) << result.problems[0];
    EXPECT_FALSE(fs::exists(scratch / "out")) << "something was written";
}

INSTANTIATE_TEST_SUITE_P(
    BuildPackage, RefusedStaging,
    ::testing::ValuesIn(std::vector<RefusalRow>{
        {"empty_file", {{"e.txt", ""}}, {}, "is empty"},
        {"bar", {{"a|b.txt", "x"}}, {}, "contains \"|\""},
        {"not_code_page_936", {{"\xF0\x9F\x98\x80.txt", "x"}}, {}, "code page 936 cannot hold"},
        {"second_byte_bar", {{"亅.txt", "x"}}, {}, "second byte in code page 936 is \"|\""},
        {"folder_path", {}, {}, "folder path of 256 bytes", std::string(183, 'f')},
        {"letter_case", {{"Readme.txt", "x"}, {"README.TXT", "y"}}, {}, "same Windows name"},
        {"symbolic_link", {}, {}, "symbolic link", "", "link.exe"},
        {"missing_target",
         {},
         {{Shortcut, "b.exe", "B", "--shortcut b.exe=B"}},
         "b.exe is not a file under"},
        {"launch_of_a_folder",
         {},
         {{Launch, "dir", "", "--launch dir"}},
         "dir is not a file under",
         "dir"},
        {"link_name_bar",
         {},
         {{Shortcut, "a.exe", "A|B", "--shortcut"}},
         "the link name contains \"|\""},
        {"link_name_empty", {}, {{Shortcut, "a.exe", "", "--shortcut"}}, "the link name is empty"},
        {"link_name_not_code_page_936",
         {},
         {{Shortcut, "a.exe", "\xF0\x9F\x98\x80", "--shortcut"}},
         "code page 936 cannot hold"},
        {"same_link_name",
         {},
         {{Shortcut, "a.exe", "App", "--shortcut a.exe=App"},
          {Shortcut, "a.exe", "APP", "--shortcut a.exe=APP"}},
         "same name"},
    }),
    [](const ::testing::TestParamInfo<RefusalRow>& info) { return std::string(info.param.name); });

TEST(BuildPackage, RefusesAnEmptyStagingFolderAndAnOutputInsideIt) {
    ScratchDir scratch;
    fs::create_directories(scratch / "staging");
    BuildResult result = BuildPackage({scratch / "staging", scratch / "out", {}});
    ASSERT_EQ(result.problems.size(), 1u);
    EXPECT_NE(result.problems[0].find("holds nothing to install"), std::string::npos);

    WriteTestFile(scratch / "staging/a.exe", "program");
    result = BuildPackage({scratch / "staging", scratch / "staging/out", {}});
    ASSERT_EQ(result.problems.size(), 1u);
    EXPECT_NE(result.problems[0].find("lies inside the staging folder"), std::string::npos);
}

TEST(BuildCommand, ExitCodesAndMessages) {
    ScratchDir scratch;
    WriteTestFile(scratch / "staging/bin/app.exe", "program");
    EXPECT_TRUE(
        Ended(RunProgram("build " + Quote(scratch / "staging") + " " + Quote(scratch / "out") +
                         " --shortcut bin/app.exe=App --launch " + "'bin\\app.exe'"),
              0, {"FileList.txt last"}));
    EXPECT_NE(
        ReadWholeFile(scratch / "out/AppData/FileList.txt").find("2|bin\\app.exe|App\r\n3|bin"),
        std::string::npos);

    WriteTestFile(scratch / "staging/empty.dat", "");
    EXPECT_TRUE(
        Ended(RunProgram("build " + Quote(scratch / "staging") + " " + Quote(scratch / "out2")), 1,
              {(scratch / "staging/empty.dat").string() + ": is empty"}));
}

}  // namespace
}  // namespace tessaly::pack::testing
