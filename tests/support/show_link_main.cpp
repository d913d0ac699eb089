// show_link: prints what a Windows shell link (.lnk) points at, through the harness's link reader,
// so that scripts/demo.sh can show the desktop link the installer wrote.
// Usage: show_link FILE.lnk [CODE_PAGE]   (ANSI texts in CODE_PAGE, CP936 by default)
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>

#include "support/shell_link.h"

namespace {

constexpr std::size_t kLinkFlagsOffset = 0x14;
constexpr unsigned char kHasRelativePath = 0x08;

// Wine's link writer stores the relative path string without setting HasRelativePath in the
// header, so the strict reader takes that string for the next field and refuses the file. When
// the flag is missing, the file is read again as if it were set, and that is said.
std::optional<tessaly::test::ShellLink> ReadLink(const std::string& bytes,
                                                 const std::string& codePage, bool& flagAdded) {
    flagAdded = false;
    auto link = tessaly::test::ParseShellLink(bytes, codePage);
    if (link || bytes.size() <= kLinkFlagsOffset ||
        (static_cast<unsigned char>(bytes[kLinkFlagsOffset]) & kHasRelativePath) != 0) {
        return link;
    }
    std::string flagged = bytes;
    flagged[kLinkFlagsOffset] = static_cast<char>(flagged[kLinkFlagsOffset] | kHasRelativePath);
    link = tessaly::test::ParseShellLink(flagged, codePage);
    flagAdded = link.has_value();
    return link;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: show_link FILE.lnk [CODE_PAGE]\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    bool flagAdded = false;
    const auto link = ReadLink(bytes, argc == 3 ? argv[2] : "CP936", flagAdded);
    if (!link) {
        std::fprintf(stderr, "show_link: %s is not a well-formed shell link\n", argv[1]);
        return 1;
    }
    const std::pair<const char*, const std::string*> fields[] = {
        {"target", &link->localBasePath},       {"target suffix", &link->commonPathSuffix},
        {"relative path", &link->relativePath}, {"working folder", &link->workingDir},
        {"arguments", &link->arguments},        {"description", &link->name},
        {"icon", &link->iconLocation},
    };
    for (const auto& [label, value] : fields) {
        if (!value->empty()) {
            std::printf("%s: %s\n", label, value->c_str());
        }
    }
    if (flagAdded) {
        std::printf(
            "(read with HasRelativePath set: the writer stored a relative path without it)\n");
    }
    return 0;
}
