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
#include "package/file_list.h"

#include <cstring>

namespace tessaly {

int SplitInPlace(char* text, const char* delimiters, std::vector<char*>& tokens) {
    tokens.clear();
    if (*text == '\0') {
        return 0;
    }
    // A 256-entry table beats strchr per byte on long indexes.
    bool isDelimiter[256] = {};
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

// Copies a column into a fixed field; refuses one that does not fit with its terminator.
template <std::size_t N>
bool CopyColumn(char (&field)[N], const char* column) {
    const std::size_t length = std::strlen(column);
    if (length >= N) {
        return false;
    }
    std::memcpy(field, column, length);
    return true;
}

LineVerdict ParseColumns(char* line, std::vector<char*>& columns, InstallEntry& entry) {
    if (*line == '\0') {
        return LineVerdict::Empty;
    }
    if (SplitInPlace(line, "|", columns) < 2) {
        return LineVerdict::TooFewColumns;
    }
    // Columns 2 and 3 always exist from here on: a line of two columns has an empty third.
    static char kEmpty[] = "";
    columns.push_back(kEmpty);
    columns.push_back(kEmpty);
    const char first = columns[0][0];
    if (first < '0' || first > '9') {
        return LineVerdict::NoLeadingDigit;
    }
    if (columns[1][0] == '\0') {
        return LineVerdict::EmptyPath;
    }
    std::memset(&entry, 0, sizeof entry);
    entry.kind = first - '0';
    if (!CopyColumn(entry.path, columns[1])) {
        return LineVerdict::PathTooLong;
    }
    if (!CopyColumn(entry.local, columns[2])) {
        return LineVerdict::LocalTooLong;
    }
    return LineVerdict::Entry;
}

}  // namespace

LineVerdict ParseFileListLine(char* line, InstallEntry& entry) {
    std::vector<char*> columns;
    return ParseColumns(line, columns, entry);
}

bool ParseFileList(ByteBuffer& body, EntryList& entries) {
    // Six zero bytes close the text whatever the body holds; from here it is a C string.
    body.insert(body.end(), 6, 0);
    std::vector<char*> lines;
    if (SplitInPlace(reinterpret_cast<char*>(body.data()), "\r\n", lines) < 1) {
        return false;
    }
    std::vector<char*> columns;
    InstallEntry entry;
    for (char* line : lines) {
        if (ParseColumns(line, columns, entry) == LineVerdict::Entry) {
            entries.push_back(entry);
        }
    }
    return true;
}

}  // namespace tessaly
