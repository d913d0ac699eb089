// Code page 936 byte sequences, and the UTF-16 paths composed under folders Windows named.
#include "common/cp936_text.h"

#include <cstring>

namespace tessaly {

namespace {

bool IsLeadByte(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}

bool IsTrailByte(unsigned char byte) {
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFE);
}

}  // namespace

bool IsCp936Text(const char* text) {
    for (const auto* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
        if (*p == 0xFF) {
            return false;
        }
        if (IsLeadByte(*p)) {
            if (!IsTrailByte(p[1])) {
                return false;
            }
            ++p;
        }
    }
    return true;
}

bool ComposeWidePath(const char* path, std::initializer_list<const WideFolder*> folders,
                     Cp936Converter convert, std::u16string& wide) {
    const WideFolder* under = nullptr;
    std::size_t textLength = 0;
    for (const WideFolder* folder : folders) {
        const std::size_t length = strnlen(folder->text, FOLDER_TEXT_CAPACITY);
        if (length > textLength && std::strncmp(path, folder->text, length) == 0) {
            under = folder;
            textLength = length;
        }
    }
    std::u16string rest;
    if (!convert(path + textLength, rest)) {
        return false;
    }
    wide.clear();
    if (under != nullptr) {
        wide.assign(under->wide, std::char_traits<char16_t>::length(under->wide));
    }
    wide += rest;
    return true;
}

}  // namespace tessaly
