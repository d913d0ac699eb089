// Editor-numbered lines of a file index, judged by ParseFileListLine.
#include "format/index_text.h"

#include <cstring>

namespace tessaly {

namespace {

std::vector<std::string> CutColumns(const std::string& text) {
    std::vector<std::string> columns;
    std::size_t start = 0;
    for (std::size_t bar = text.find('|'); bar != std::string::npos; bar = text.find('|', start)) {
        columns.push_back(text.substr(start, bar - start));
        start = bar + 1;
    }
    columns.push_back(text.substr(start));
    return columns;
}

IndexLine JudgeLine(int number, std::size_t offset, std::string text) {
    IndexLine line;
    line.number = number;
    line.offset = offset;
    line.columns = CutColumns(text);
    std::vector<char> writable(text.begin(), text.end());
    writable.push_back('\0');
    std::memset(&line.entry, 0, sizeof line.entry);
    line.verdict = ParseFileListLine(writable.data(), line.entry);
    line.text = std::move(text);
    return line;
}

}  // namespace

IndexText ReadIndexLines(const std::string& bytes) {
    IndexText index;
    const std::size_t zero = bytes.find('\0');
    const std::size_t end = zero == std::string::npos ? bytes.size() : zero;
    int number = 1;
    std::size_t start = 0;
    while (start < end) {
        std::size_t lineEnd = start;
        while (lineEnd < end && !IsIndexLineEnd(static_cast<unsigned char>(bytes[lineEnd]))) {
            ++lineEnd;
        }
        index.lines.push_back(JudgeLine(number, start, bytes.substr(start, lineEnd - start)));
        if (lineEnd == end) {
            start = end;
            break;
        }
        const bool crLf = bytes[lineEnd] == '\r' && lineEnd + 1 < end && bytes[lineEnd + 1] == '\n';
        start = lineEnd + (crLf ? 2 : 1);
        ++number;
    }
    if (zero != std::string::npos) {
        index.zeroByteLine = number;
        index.bytesAfterZero = bytes.size() - zero - 1;
    }
    return index;
}

}  // namespace tessaly
