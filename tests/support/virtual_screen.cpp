// Xvfb on the first free display number from :90: a display is taken while its socket exists
// or a lock file names a living process.
#include "support/virtual_screen.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace tessaly::test {
namespace {

constexpr int FIRST_DISPLAY = 90;
constexpr int LAST_DISPLAY = 189;
constexpr const char* XVFB = "/usr/bin/Xvfb";

std::string SocketPath(int number) {
    return "/tmp/.X11-unix/X" + std::to_string(number);
}

bool DisplayTaken(int number) {
    if (access(SocketPath(number).c_str(), F_OK) == 0) {
        return true;
    }
    std::ifstream lock("/tmp/.X" + std::to_string(number) + "-lock");
    pid_t owner = 0;
    // A stale lock (its process is gone) is removed by the next Xvfb itself.
    return lock >> owner && owner > 0 && kill(owner, 0) == 0;
}

// True once the X server accepts a connection on its socket.
bool Accepts(int number) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, SocketPath(number).c_str(), sizeof address.sun_path - 1);
    const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

}  // namespace

VirtualScreen::VirtualScreen() {
    if (access(XVFB, X_OK) != 0) {
        throw std::runtime_error(std::string("VirtualScreen: ") + XVFB +
                                 " is missing (package xvfb)");
    }
    const std::string size = std::to_string(WIDTH) + "x" + std::to_string(HEIGHT) + "x24";
    for (int number = FIRST_DISPLAY; number <= LAST_DISPLAY; ++number) {
        if (DisplayTaken(number)) {
            continue;
        }
        const std::string display = ":" + std::to_string(number);
        auto xvfb = std::make_unique<ChildProcess>(
            std::vector<std::string>{XVFB, display, "-screen", "0", size, "-nolisten", "tcp"},
            CurrentEnvironment(), "");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (xvfb->Running() && !Accepts(number) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (xvfb->Running() && Accepts(number)) {
            display_ = display;
            xvfb_ = std::move(xvfb);
            return;
        }
        // Another server took the number meanwhile, or this one failed: try the next.
        xvfb->Terminate(std::chrono::seconds(2));
    }
    throw std::runtime_error("VirtualScreen: no Xvfb came up on :" + std::to_string(FIRST_DISPLAY) +
                             " to :" + std::to_string(LAST_DISPLAY));
}

VirtualScreen::~VirtualScreen() {
    // SIGTERM lets Xvfb remove its socket and lock file.
    xvfb_->Terminate(std::chrono::seconds(3));
}

VirtualScreen& SharedVirtualScreen() {
    static std::unique_ptr<VirtualScreen> shared;
    if (!shared) {
        shared = std::make_unique<VirtualScreen>();
        std::printf("[harness] virtual screen on %s\n", shared->Display().c_str());
    }
    return *shared;
}

}  // namespace tessaly::test
