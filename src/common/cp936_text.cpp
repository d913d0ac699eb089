// The UTF-16 paths composed under folders Windows named.
#include "common/cp936_text.h"

#include <cstring>

namespace tessaly {

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
