// The status as a screen reader hears it.
#include "ui/status_speech.h"

#include <utility>

namespace tessaly {

SpokenStatus SpeakStatus(const char* statusText, int failed, TextToUtf16 toUtf16) {
    const bool running = failed == 0;
    return SpokenStatus{toUtf16(statusText), running,
                        running ? LiveSetting::Polite : LiveSetting::Assertive};
}

StatusAnnouncement StatusSpeech::Update(const char* statusText, int failed, TextToUtf16 toUtf16) {
    SpokenStatus now = SpeakStatus(statusText, failed, toUtf16);
    if (now.text == last_.text && now.busy == last_.busy) {
        return StatusAnnouncement{false, false};
    }
    last_ = std::move(now);
    return StatusAnnouncement{true, !last_.busy};
}

}  // namespace tessaly
