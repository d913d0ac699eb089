// The file index format and its parser.
#pragma once

#include <vector>

#include "format/byte_buffer.h"
#include "format/install_entry.h"

namespace tessaly {

// Every CR and every LF ends a line of the index.
constexpr char INDEX_LINE_ENDS[] = "\r\n";
inline bool IsIndexLineEnd(unsigned char byte) {
    return byte == '\r' || byte == '\n';
}

// Cuts the NUL-terminated `text` in place at every byte found in `delimiters`, overwriting each
// delimiter with a zero byte; `tokens` receives pointers to the pieces. Every piece is a token,
// empty ones included, except an empty piece after the last delimiter. Returns the token count.
int SplitInPlace(char* text, const char* delimiters, std::vector<char*>& tokens);

// Parses a downloaded index held in `body` (modified in place: separators become zero bytes) and
// appends one entry per valid line to `entries`. The text ends at the first zero byte of the body.
// Returns false when the text has no line at all (empty, or starting with a zero byte). Its memory
// grows with the entries it keeps, not with the lines it reads; std::bad_alloc when that is more
// than there is.
bool ParseFileList(ByteBuffer& body, EntryList& entries);

// Why a line of the index yields no entry; shared with the publishing tools, so that they judge an
// index exactly as the installer does.
enum class LineVerdict {
    Entry,           // the line gives an entry
    Empty,           // nothing on the line
    TooFewColumns,   // no bar, or only a bar at its very end
    NoLeadingDigit,  // the first column does not begin with an ASCII digit
    EmptyPath,       // the second column is empty
    PathTooLong,     // the second column does not fit InstallEntry::path
    LocalTooLong,    // the third column does not fit InstallEntry::local
};

// Judges one line (a NUL-terminated text without line breaks; modified in place) and, when it gives
// an entry, fills `entry`.
LineVerdict ParseFileListLine(char* line, InstallEntry& entry);

}  // namespace tessaly
