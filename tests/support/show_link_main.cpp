// show_link: prints what a Windows shell link (.lnk) points at, through the harness's link reader,
// so that scripts/demo.sh can show the desktop link the installer wrote.
// Usage: show_link FILE.lnk [CODE_PAGE]   (ANSI texts in CODE_PAGE, CP936 by default)
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

#include "support/shell_link.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: show_link FILE.lnk [CODE_PAGE]\n");
        return 2;
    }
    const auto link = tessaly::test::ReadWineShellLink(argv[1], argc == 3 ? argv[2] : "CP936");
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
    if (link->relativePathFlagAdded) {
        std::printf(
            "(read with HasRelativePath set: the writer stored a relative path without it)\n");
    }
    return 0;
}
