// Reads a file index line by line as a person sees it in an editor, and judges every line with the
// installer's own parser, so that a line number in a message is the one the editor shows and a
// verdict is the one the installer reaches.
#pragma once

#include <string>
#include <vector>

#include "format/file_list.h"

namespace tessaly {

struct IndexLine {
    int number;                        // 1 for the first; CR LF, LF and CR each end one line
    std::size_t offset;                // where the line begins in the index
    std::string text;                  // the bytes of the line, without its line break
    std::vector<std::string> columns;  // the text cut at every "|"
    LineVerdict verdict;               // what the installer makes of the line
    InstallEntry entry;                // the installer's entry, when the verdict is Entry
};

struct IndexText {
    std::vector<IndexLine> lines;    // every line, empty ones included
    int zeroByteLine = 0;            // the line holding the first zero byte; 0 when there is none
    std::size_t bytesAfterZero = 0;  // bytes after that zero byte, which the installer ignores
};

// The installer cuts at every CR and every LF and skips the empty pieces, so it sees the same
// non-empty lines; only the numbering differs, and this one counts a CR LF pair once.
IndexText ReadIndexLines(const std::string& bytes);

}  // namespace tessaly
