// The process-wide installer state and the status line shared by worker and painter.
#include "install/shared_status.h"

#include <cstring>

#include "common/fixed_text.h"
#include "install/status_texts.h"

namespace tessaly {

namespace {

InstallerState* CreateState() {
    auto* state = new InstallerState();  // value-initialised: every field zero
    ComposeText(state->statusText, {INITIAL_STATUS});
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
    // None of the installer's texts comes near the buffer's size. One that did not fit would leave
    // the previous text on screen, rather than an empty or a cut one.
    if (JoinedFits(sizeof state.statusText, {text})) {
        ComposeText(state.statusText, {text});
    }
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
