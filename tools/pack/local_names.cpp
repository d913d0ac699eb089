// Name rules and path keys for local paths in code page 936.
#include "pack/local_names.h"

#include <cstring>

#include "pack/cp936.h"

namespace tessaly::pack {

std::string WindowsNameProblem(const std::string& utf8Name) {
    if (utf8Name.empty()) {
        return "is empty";
    }
    for (const char c : utf8Name) {
        if (c == '|') {
            return "contains \"|\", which separates the columns of the index";
        }
        if (c == '\r' || c == '\n') {
            return "contains a line break, which ends a line of the index";
        }
        if (c == '\\' || c == '/') {
            return "contains a folder separator";
        }
        if (static_cast<unsigned char>(c) < 0x20) {
            return "contains a control character, which Windows does not allow in a name";
        }
        if (std::strchr("<>:\"?*", c) != nullptr) {
            return std::string("contains \"") + c + "\", which Windows does not allow in a name";
        }
    }
    const char last = utf8Name.back();
    if (last == '.' || last == ' ') {
        return "ends with a dot or a space, which Windows drops from a name";
    }
    return {};
}

std::string Cp936NameProblem(const std::string& cp936Name) {
    struct Trail {
        char byte;
        const char* consequence;
    } const TRAILS[] = {
        {'|', "\"|\": the installer would cut the index line there"},
        {'\\', "a backslash, which byte-wise path handling takes for a folder separator"},
    };
    for (const Trail& trail : TRAILS) {
        const std::size_t at = FindTrailByte(cp936Name, trail.byte);
        if (at != std::string::npos) {
            return "holds \"" + Cp936ForDisplay(cp936Name.substr(at, 2)) +
                   "\", whose second byte in code page 936 is " + trail.consequence;
        }
    }
    return {};
}

std::vector<std::string> SplitLocalPath(const std::string& cp936Path) {
    std::vector<std::string> components;
    std::string current;
    const auto flush = [&] {
        if (!current.empty() && current != ".") {
            components.push_back(current);
        }
        current.clear();
    };
    for (std::size_t i = 0; i < cp936Path.size(); ++i) {
        const char c = cp936Path[i];
        if (IsCp936LeadByte(static_cast<unsigned char>(c)) && i + 1 < cp936Path.size()) {
            current += c;
            current += cp936Path[++i];
        } else if (c == '\\' || c == '/') {
            flush();
        } else {
            current += c;
        }
    }
    flush();
    return components;
}

bool HasSeparator(const std::string& cp936Path) {
    for (std::size_t i = 0; i < cp936Path.size(); ++i) {
        const char c = cp936Path[i];
        if (IsCp936LeadByte(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '\\' || c == '/') {
            return true;
        }
    }
    return false;
}

namespace {

// Upper-cases ASCII letters, leaving both bytes of every double-byte character alone.
std::string FoldCase(const std::string& component) {
    std::string folded;
    for (std::size_t i = 0; i < component.size(); ++i) {
        const char c = component[i];
        if (IsCp936LeadByte(static_cast<unsigned char>(c)) && i + 1 < component.size()) {
            folded += c;
            folded += component[++i];
        } else {
            folded += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        }
    }
    return folded;
}

std::string JoinKey(const std::vector<std::string>& components, std::size_t count) {
    std::string key;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) {
            key += '\\';
        }
        key += FoldCase(components[i]);
    }
    return key;
}

}  // namespace

std::string LocalPathKey(const std::string& cp936Path) {
    const std::vector<std::string> components = SplitLocalPath(cp936Path);
    return JoinKey(components, components.size());
}

std::string ParentKey(const std::string& cp936Path) {
    const std::vector<std::string> components = SplitLocalPath(cp936Path);
    return components.empty() ? std::string() : JoinKey(components, components.size() - 1);
}

}  // namespace tessaly::pack
