// What a screen reader is told about the status line, and when. The window's picture shows the
// status with a turning spinner and a row of dots; a reader is given the worker's text alone, and
// hears it once per new text, not once per animation frame.
#pragma once

#include <string>

#include "ui/status_painter.h"

namespace tessaly {

// How insistently a reader should speak a change without focus: UI Automation's LiveSetting
// values (Off is 0).
enum class LiveSetting : int { Polite = 1, Assertive = 2 };

struct SpokenStatus {
    std::u16string text;  // the step's text or the failure text, whole; never spinner or dots
    bool busy;            // a step is running
    LiveSetting live;     // polite while running, assertive once a step failed
};

// What is spoken for the status (`statusText`, `failed`), whatever the tick.
SpokenStatus SpeakStatus(const char* statusText, int failed, TextToUtf16 toUtf16);

// What a change of status asks the window to announce.
struct StatusAnnouncement {
    bool changed;  // a new text (or the same text, now failed): its name changed
    bool alert;    // the new status is a failure
};

// The status last spoken, compared with the current one at each animation tick.
class StatusSpeech {
  public:
    // Takes the current status; says what to announce when it differs from the one last spoken.
    // Until the first status with a text, what was spoken is silence: an empty, running text.
    StatusAnnouncement Update(const char* statusText, int failed, TextToUtf16 toUtf16);

    const SpokenStatus& LastSpoken() const { return last_; }

  private:
    SpokenStatus last_{u"", true, LiveSetting::Polite};
};

}  // namespace tessaly
