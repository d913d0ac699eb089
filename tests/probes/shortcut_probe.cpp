// Calls the installer's own link writer once, so that the Wine tests can reach the limits that a
// real index cannot (the link path is converted into at most 260 UTF-16 units):
//   shortcut_probe TARGET LINK_PATH     (ANSI texts)
// Exit code 0 after the call, 2 on a usage error; whether a link was written is seen on disk.
#include <cstdio>

#include "package/desktop_shortcuts_win.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: shortcut_probe TARGET LINK_PATH\n");
        return 2;
    }
    // No install ran: no folder was named by Windows, and both paths are converted as they are.
    const tessaly::InstallContext context = {};
    tessaly::CreateShortcut(argv[1], argv[2], context);
    return 0;
}
