// Writes a shell link with the platform's own link object, so that the tests can check their
// .lnk reader against what Windows (here: Wine) writes:
//   make_link_probe LINK TARGET WORKING_DIR DESCRIPTION     (ANSI texts)
// Exit code 0 when the link was saved, 1 when a call failed, 2 on a usage error.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <cstdio>

#include "common/scoped_win.h"

namespace {

bool WriteLink(const char* linkPath, const char* target, const char* workingDir,
               const char* description) {
    tessaly::ScopedComPtr<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                link.Receive()))) {
        return false;
    }
    tessaly::ScopedComPtr<IPersistFile> file;
    wchar_t widePath[MAX_PATH] = {};
    return SUCCEEDED(link->SetPath(target)) && SUCCEEDED(link->SetWorkingDirectory(workingDir)) &&
           SUCCEEDED(link->SetDescription(description)) &&
           MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH) > 0 &&
           SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.Receive())) &&
           SUCCEEDED(file->Save(widePath, TRUE));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: make_link_probe LINK TARGET WORKING_DIR DESCRIPTION\n");
        return 2;
    }
    const tessaly::ScopedComApartment apartment;
    return WriteLink(argv[1], argv[2], argv[3], argv[4]) ? 0 : 1;
}
