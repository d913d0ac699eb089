// Splitting and parsing the index text into entries: line endings, line rules, numbering, sizing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "format/file_list.h"
#include "format/index_text.h"

namespace tessaly {
namespace {

std::vector<std::string> Split(std::string text, const char* delimiters) {
    std::vector<char*> tokens;
    const int count = SplitInPlace(text.data(), delimiters, tokens);
    EXPECT_EQ(count, static_cast<int>(tokens.size()));
    return {tokens.begin(), tokens.end()};
}

TEST(SplitInPlace, CutsAtEveryDelimiterAndKeepsEmptyPieces) {
    struct Case {
        const char* text;
        const char* delimiters;
        std::vector<std::string> tokens;
    } cases[] = {
        {"x\r\ny", "\r\n", {"x", "", "y"}},
        {"x\n", "\r\n", {"x"}},
        {"\nx", "\r\n", {"", "x"}},
        {"\n", "\r\n", {""}},
        {"", "\r\n", {}},
        {"abc", "", {"abc"}},
        {"0|a|b|c", "|", {"0", "a", "b", "c"}},
        {"1|bin|", "|", {"1", "bin"}},
        {"||", "|", {"", ""}},
        {"a\rb\rc", "\r\n", {"a", "b", "c"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
        EXPECT_EQ(Split(c.text, c.delimiters), c.tokens);
    }
}

TEST(SplitInPlace, TokensPointIntoTheTextAndReplaceTheDelimiters) {
    char text[] = "ab|cd";
    std::vector<char*> tokens{nullptr, nullptr, nullptr};  // cleared by the call
    ASSERT_EQ(SplitInPlace(text, "|", tokens), 2);
    EXPECT_EQ(tokens[0], text);
    EXPECT_EQ(tokens[1], text + 3);
    EXPECT_EQ(text[2], '\0');
}

struct Parsed {
    bool ok;
    EntryList entries;
};

Parsed Parse(const std::string& text) {
    ByteBuffer body(text.begin(), text.end());
    Parsed parsed;
    parsed.ok = ParseFileList(body, parsed.entries);
    return parsed;
}

struct Expected {
    int kind;
    std::string path;
    std::string local;
};

void ExpectEntries(const EntryList& entries, const std::vector<Expected>& expected) {
    ASSERT_EQ(entries.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(entries[i].kind, expected[i].kind);
        EXPECT_EQ(std::string(entries[i].path), expected[i].path);
        EXPECT_EQ(std::string(entries[i].local), expected[i].local);
    }
}

TEST(ParseFileList, LineEndingsDoNotChangeTheEntries) {
    const std::vector<Expected> typical = {
        {1, "bin", ""}, {0, "app/main.exe", "bin\\main.exe"}, {2, "bin\\main.exe", "Tessaly"}};
    for (const char* eol : {"\r\n", "\n", "\r"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(eol)));
        const std::string text = std::string("1|bin|") + eol + "0|app/main.exe|bin\\main.exe" +
                                 eol + "2|bin\\main.exe|Tessaly" + eol;
        const Parsed parsed = Parse(text);
        EXPECT_TRUE(parsed.ok);
        ExpectEntries(parsed.entries, typical);
    }
}

TEST(ParseFileList, LineRules) {
    const std::string longPath(255, 'p');
    const std::string longLocal(127, 'l');
    struct Case {
        const char* name;
        std::string text;
        std::vector<Expected> entries;
    } cases[] = {
        {"kinds 4 to 9 are kept", "4|a|b\n9|c|", {{4, "a", "b"}, {9, "c", ""}}},
        {"two-digit first column", "12|x|y", {{1, "x", "y"}}},
        {"letters after the digit", "3abc|run.exe", {{3, "run.exe", ""}}},
        {"missing third column", "0|a", {{0, "a", ""}}},
        {"empty third column", "0|a|", {{0, "a", ""}}},
        {"four columns", "0|a|b|c", {{0, "a", "b"}}},
        {"empty second column", "0||b", {}},
        {"leading space", " 0|a|b", {}},
        {"leading bar", "|0|a|b", {}},
        {"no bar", "0", {}},
        {"only a bar at the end", "0|", {}},
        {"byte-order mark",
         "\xEF\xBB\xBF"
         "1|bin|\n0|a|b",
         {{0, "a", "b"}}},
        {"spaces are kept", "0| a | b ", {{0, " a ", " b "}}},
        {"zero byte ends the text",
         std::string("0|a|b\n0|c|d", 11) + std::string(1, '\0') + "0|e|f",
         {{0, "a", "b"}, {0, "c", "d"}}},
        {"longest columns fit", "0|" + longPath + "|" + longLocal, {{0, longPath, longLocal}}},
        {"path one byte over is skipped", "0|" + longPath + "p|x\n1|ok", {{1, "ok", ""}}},
        {"local one byte over is skipped", "0|a|" + longLocal + "l\n1|ok", {{1, "ok", ""}}},
        {"only line breaks", "\r\n\r\n", {}},
        {"mixed line ends",
         "1|bin|\r\n0|a|b\n\n5|k|\r\r\n0|c|d",
         {{1, "bin", ""}, {0, "a", "b"}, {5, "k", ""}, {0, "c", "d"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Parsed parsed = Parse(c.text);
        EXPECT_TRUE(parsed.ok);
        ExpectEntries(parsed.entries, c.entries);
        // The publisher's tool reads the index line by line and reaches the same records.
        EntryList lineByLine;
        for (const IndexLine& line : ReadIndexLines(c.text).lines) {
            if (line.verdict == LineVerdict::Entry) {
                lineByLine.push_back(line.entry);
            }
        }
        ASSERT_EQ(lineByLine.size(), parsed.entries.size());
        EXPECT_TRUE(lineByLine.empty() ||
                    std::memcmp(lineByLine.data(), parsed.entries.data(),
                                lineByLine.size() * sizeof(InstallEntry)) == 0);
    }
}

TEST(IndexLines, NumbersLinesAsAnEditorDoes) {
    const IndexText index = ReadIndexLines("1|a|\r\n0|p|a\\x\n\n2|a\\x|L\r3|a\\x|\r\n");
    std::vector<std::pair<int, std::string>> seen;
    for (const IndexLine& line : index.lines) {
        seen.emplace_back(line.number, line.text);
    }
    EXPECT_EQ(seen, (std::vector<std::pair<int, std::string>>{
                        {1, "1|a|"}, {2, "0|p|a\\x"}, {3, ""}, {4, "2|a\\x|L"}, {5, "3|a\\x|"}}));
    EXPECT_EQ(index.zeroByteLine, 0);
}

TEST(IndexLines, ZeroByteEndsTheText) {
    const IndexText index = ReadIndexLines(std::string("1|a|\n0|p|x\0tail\n", 16));
    ASSERT_EQ(index.lines.size(), 2u);
    EXPECT_EQ(index.zeroByteLine, 2);
    EXPECT_EQ(index.bytesAfterZero, 5u);
}

TEST(ParseFileList, BodyWithoutAnyLineFails) {
    EXPECT_FALSE(Parse("").ok);
    EXPECT_FALSE(Parse(std::string("\0"
                                   "0|a|b",
                                   6))
                     .ok);
}

TEST(ParseFileList, ListIsSizedToTheEntriesKeptNotToTheLinesRead) {
    std::string text = "1|bin|\n";
    for (int i = 0; i < 100000; ++i) {
        text += i % 2 == 0 ? "x\n" : "0|\n";  // junk, and a line with an empty path
    }
    text += "0|a|bin\\a\n";
    const Parsed parsed = Parse(text);
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.entries.size(), 2u);
    EXPECT_EQ(parsed.entries.capacity(), 2u);
}

TEST(ParseFileList, EntriesAreZeroFilledAfterTheirTerminators) {
    const Parsed parsed = Parse("0|ab|c");
    ASSERT_EQ(parsed.entries.size(), 1u);
    const InstallEntry& entry = parsed.entries[0];
    for (std::size_t i = 2; i < sizeof entry.path; ++i) {
        ASSERT_EQ(entry.path[i], 0) << i;
    }
    for (std::size_t i = 1; i < sizeof entry.local; ++i) {
        ASSERT_EQ(entry.local[i], 0) << i;
    }
}

TEST(ParseFileListLine, NamesWhyALineGivesNoEntry) {
    struct Case {
        std::string line;
        LineVerdict verdict;
    } cases[] = {
        {"", LineVerdict::Empty},
        {"0", LineVerdict::TooFewColumns},
        {"x|a", LineVerdict::NoLeadingDigit},
        {"0||a", LineVerdict::EmptyPath},
        {"0|" + std::string(256, 'p'), LineVerdict::PathTooLong},
        {"0|a|" + std::string(128, 'l'), LineVerdict::LocalTooLong},
        {"0|a|b", LineVerdict::Entry},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.line);
        InstallEntry entry;
        EXPECT_EQ(ParseFileListLine(c.line.data(), entry), c.verdict);
    }
}

}  // namespace
}  // namespace tessaly
