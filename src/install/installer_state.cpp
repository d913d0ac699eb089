// The process-wide installer state and the status line shared by worker and painter.
#include "install/installer_state.h"

#include <cstring>

#include "install/status_texts.h"

namespace tessaly {

namespace {

InstallerState* CreateState() {
    auto* state = new InstallerState();  // value-initialised: every field zero
    std::memcpy(state->statusText, kInitialStatus, sizeof kInitialStatus);
    return state;
}

}  // namespace

InstallerState& State() {
    static InstallerState* const state = CreateState();
    return *state;
}

void SetStatus(const char* text, int failedValue) {
    InstallerState& state = State();
    std::lock_guard<std::mutex> lock(state.statusLock);
    std::memset(state.statusText, 0, sizeof state.statusText);
    std::strncpy(state.statusText, text, sizeof state.statusText - 1);
    state.failed = failedValue;
}

StatusSnapshot ReadStatus() {
    InstallerState& state = State();
    StatusSnapshot snapshot;
    std::lock_guard<std::mutex> lock(state.statusLock);
    std::memcpy(snapshot.text, state.statusText, sizeof snapshot.text);
    snapshot.failed = state.failed;
    return snapshot;
}

}  // namespace tessaly
