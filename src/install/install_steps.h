// The six install steps, as data, and the sequence that runs them.
#pragma once

#include <array>
#include <cstddef>
#include <functional>

namespace tessaly {

struct InstallStep {
    const char* startText;       // published with failed 0 before the operation runs
    const char* failureText;     // published with failed 1 when it returns false
    const char* completionText;  // published with failed 0 when it returns true
};

constexpr std::size_t INSTALL_STEP_COUNT = 6;

// Check prerequisites, prepare the install directory, load the file index, download the files,
// create the desktop shortcuts, launch the entries: in this order.
extern const std::array<InstallStep, INSTALL_STEP_COUNT> INSTALL_STEPS;

using StepOperation = std::function<bool()>;
using StatusPublisher = std::function<void(const char* text, int failed)>;

// Runs the operations in order, publishing each step's start text, then its completion or failure
// text. Stops at the first failure; an operation that throws fails like one that returns false.
// Returns true when every operation succeeded.
bool RunInstallSteps(const std::array<StepOperation, INSTALL_STEP_COUNT>& operations,
                     const StatusPublisher& publish);

}  // namespace tessaly
