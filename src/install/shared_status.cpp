// The status line and the notice shared by the install worker and the installer window.
#include "install/shared_status.h"

#include <cstring>

#include "common/fixed_text.h"
#include "install/status_texts.h"

namespace tessaly {

SharedStatus::SharedStatus() : statusText{}, failed(0), noticeText{} {
    ComposeText(statusText, {INITIAL_STATUS});
}

void SharedStatus::SetStatus(const char* text, int failedValue) {
    std::lock_guard<std::mutex> lock(statusLock);
    // None of the installer's texts comes near the buffer's size. One that did not fit would leave
    // the previous text on screen, rather than an empty or a cut one.
    if (JoinedFits(sizeof statusText, {text})) {
        ComposeText(statusText, {text});
    }
    failed = failedValue;
}

StatusSnapshot SharedStatus::ReadStatus() const {
    StatusSnapshot snapshot;
    std::lock_guard<std::mutex> lock(statusLock);
    std::memcpy(snapshot.text, statusText, sizeof snapshot.text);
    snapshot.failed = failed;
    return snapshot;
}

}  // namespace tessaly
