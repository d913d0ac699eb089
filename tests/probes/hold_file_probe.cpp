// Holds a file open without sharing it, as another program might while the installer wants to
// replace it.
//
//   hold_file_probe PATH SECONDS
//
// Prints "held" once the file is open, then keeps it open for SECONDS.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "common/scoped_win.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: hold_file_probe PATH SECONDS\n");
        return 2;
    }
    const tessaly::ScopedKernelHandle file(CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0,
                                                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                                       nullptr));
    if (!file.IsValid()) {
        std::printf("error=%lu\n", GetLastError());
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::atoi(argv[2])) * 1000);
    return 0;
}
