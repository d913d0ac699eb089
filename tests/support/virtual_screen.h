// An X server of its own for the tests that look at windows: Xvfb on a free display number,
// 1920x1080 with 24-bit colour, ready when constructed and killed by process id when destroyed.
#pragma once

#include <memory>
#include <string>

#include "support/process.h"

namespace tessaly::test {

class VirtualScreen {
  public:
    static constexpr int WIDTH = 1920;
    static constexpr int HEIGHT = 1080;

    // Takes the first free display number from :90 upward. Throws std::runtime_error when Xvfb
    // is missing or does not come up.
    VirtualScreen();
    ~VirtualScreen();
    VirtualScreen(const VirtualScreen&) = delete;
    VirtualScreen& operator=(const VirtualScreen&) = delete;

    // ":90" and so on, for DISPLAY.
    const std::string& Display() const { return display_; }

  private:
    std::string display_;
    std::unique_ptr<ChildProcess> xvfb_;
};

// The screen shared by the tests of one test program, started on first use.
VirtualScreen& SharedVirtualScreen();

}  // namespace tessaly::test
