// The file index: plain ANSI text, one entry per line, columns separated by "|":
//
//     1|bin|
//     0|app/main.exe|bin\main.exe
//     2|bin\main.exe|Tessaly
//
// Column 1 begins with the kind digit (further bytes ignored), column 2 is `path`, column 3 the
// optional `local`; columns after the third are ignored. Every CR and every LF ends a line, so CR
// LF leaves an empty line between them, which is skipped like any empty line. There is no header,
// no comment syntax and no escaping. The parse cuts the downloaded bytes in place and copies each
// column once, into its record.
#include "format/file_list.h"

#include <climits>
#include <cstring>

namespace tessaly {

int SplitInPlace(char* text, const char* delimiters, std::vector<char*>& tokens) {
    tokens.clear();
    if (*text == '\0') {
        return 0;
    }
    // A table with an entry per byte value beats strchr per byte on long indexes.
    bool isDelimiter[UCHAR_MAX + 1] = {};
    for (const char* d = delimiters; *d != '\0'; ++d) {
        isDelimiter[static_cast<unsigned char>(*d)] = true;
    }
    char* tokenStart = nullptr;
    for (char* p = text; *p != '\0'; ++p) {
        if (tokenStart == nullptr) {
            tokenStart = p;
        }
        if (isDelimiter[static_cast<unsigned char>(*p)]) {
            *p = '\0';
            tokens.push_back(tokenStart);
            tokenStart = nullptr;
        }
    }
    if (tokenStart != nullptr) {
        tokens.push_back(tokenStart);
    }
    return static_cast<int>(tokens.size());
}

namespace {

// The columns of one line that gives an entry, checked against the fields they go into.
struct LineColumns {
    int kind;
    const char* path;
    std::size_t pathLength;
    const char* local;
    std::size_t localLength;
};

LineVerdict SplitColumns(char* line, std::vector<char*>& columns, LineColumns& out) {
    if (*line == '\0') {
        return LineVerdict::Empty;
    }
    if (SplitInPlace(line, "|", columns) < 2) {
        return LineVerdict::TooFewColumns;
    }
    // Columns 2 and 3 always exist from here on: a line of two columns has an empty third.
    static char EMPTY[] = "";
    columns.push_back(EMPTY);
    columns.push_back(EMPTY);
    const char first = columns[0][0];
    if (first < '0' || first > '9') {
        return LineVerdict::NoLeadingDigit;
    }
    if (columns[1][0] == '\0') {
        return LineVerdict::EmptyPath;
    }
    out = {first - '0', columns[1], std::strlen(columns[1]), columns[2], std::strlen(columns[2])};
    // A column longer than its field skips the line: never cut, never written past the field.
    if (out.pathLength > PATH_COLUMN_LIMIT) {
        return LineVerdict::PathTooLong;
    }
    if (out.localLength > LOCAL_COLUMN_LIMIT) {
        return LineVerdict::LocalTooLong;
    }
    return LineVerdict::Entry;
}

// A quick look that never misses a line that gives an entry: a leading digit, and a bar followed
// by a non-empty second column. Only the lengths of the columns are left for SplitColumns.
bool MayGiveEntry(const char* line) {
    if (*line < '0' || *line > '9') {
        return false;
    }
    const char* bar = std::strchr(line, '|');
    return bar != nullptr && bar[1] != '\0' && bar[1] != '|';
}

// Fills a zero-filled record from checked columns.
void FillEntry(const LineColumns& columns, InstallEntry& entry) {
    entry.kind = columns.kind;
    std::memcpy(entry.path, columns.path, columns.pathLength);
    std::memcpy(entry.local, columns.local, columns.localLength);
}

}  // namespace

LineVerdict ParseFileListLine(char* line, InstallEntry& entry) {
    std::vector<char*> columns;
    LineColumns checked;
    const LineVerdict verdict = SplitColumns(line, columns, checked);
    if (verdict == LineVerdict::Entry) {
        entry = InstallEntry{};
        FillEntry(checked, entry);
    }
    return verdict;
}

bool ParseFileList(ByteBuffer& body, EntryList& entries) {
    // Six zero bytes close the text whatever the body holds; from here it is a C string.
    body.insert(body.end(), BODY_TAIL_BYTES, 0);
    std::vector<char*> lines;
    if (SplitInPlace(reinterpret_cast<char*>(body.data()), INDEX_LINE_ENDS, lines) < 1) {
        return false;
    }
    // Reserve once, for the lines that can give an entry: a record is far larger than its line,
    // so regrowing the list would copy every record made so far again and again, and reserving a
    // record for every line would let an index of millions of short junk lines ask for gigabytes.
    std::size_t candidates = 0;
    for (const char* line : lines) {
        candidates += MayGiveEntry(line);
    }
    entries.reserve(entries.size() + candidates);
    std::vector<char*> columns;
    LineColumns checked;
    for (char* line : lines) {
        if (SplitColumns(line, columns, checked) == LineVerdict::Entry) {
            FillEntry(checked, entries.emplace_back());  // value-initialised: all zeros
        }
    }
    return true;
}

}  // namespace tessaly
