// Name rules and path keys for local paths in code page 936.
#include "pack/local_names.h"

#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>

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

// Marks the key of a name that is not code page 936 text, so that it never meets the key of one
// that is: UTF-8 holds no 0xFF byte.
constexpr char NOT_CP936_MARK = '\xFF';

// A UTF-8 locale of the tool's own, made once. glibc has C.UTF-8 built in.
locale_t Utf8Locale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    if (locale == locale_t{}) {
        std::fputs("tessaly-pack: the C library has no C.UTF-8 locale to compare names in\n",
                   stderr);
        std::exit(EXIT_FAILURE);
    }
    return locale;
}

// Upper-cases every character as NTFS does when it compares names: Unicode's simple uppercase,
// which the C library's towupper gives under a UTF-8 locale. That locale is taken for this thread
// and this call only; the rest of the tool keeps the "C" locale. The key is UTF-8.
std::string FoldCase(const std::string& component) {
    std::string utf8;
    if (!Cp936ToUtf8(component, utf8)) {
        return NOT_CP936_MARK + component;
    }
    // iconv's UTF-8 is valid, so both conversions convert it all.
    const locale_t previous = uselocale(Utf8Locale());
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(std::mbstowcs(wide.data(), utf8.c_str(), wide.size()));
    for (wchar_t& c : wide) {
        c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    }
    std::string folded(wide.size() * MB_LEN_MAX, '\0');
    folded.resize(std::wcstombs(folded.data(), wide.c_str(), folded.size()));
    uselocale(previous);
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
