// The status line as screen readers see it. The line is painted onto the splash picture, so
// without help a reader finds only the window's title. The window's client object (Microsoft
// Active Accessibility) gets one child, a status bar whose name is the status text and which is
// busy while a step runs; each new text raises the events that make a reader speak it.
#pragma once

#include <windows.h>

#include "ui/status_speech.h"

namespace tessaly {

class StatusClientObject;  // the COM object, in status_accessible_win.cpp

// One per window: attached while the window is created, detached when it is destroyed, all on the
// window thread.
class StatusAccessible {
  public:
    StatusAccessible() = default;
    StatusAccessible(const StatusAccessible&) = delete;
    StatusAccessible& operator=(const StatusAccessible&) = delete;

    // Makes the client object of `window`: puts the window thread into COM's single-threaded
    // apartment (readers in other processes call the object through COM) and loads oleacc.dll
    // from the system folder. Without them the window answers as before, with its title only.
    // The status the window opens with is the first one spoken; the window is not shown yet, so
    // it raises no event: a reader hears it when it reads the window.
    void Attach(HWND window, const char* statusText, int failed);
    // Drops the object; readers that still hold it get disconnected.
    void Detach();

    // WM_GETOBJECT: the client object for OBJID_CLIENT, default processing for everything else.
    LRESULT AnswerGetObject(HWND window, WPARAM flags, LPARAM objectId);

    // At each animation tick: compares the status with the one last spoken and, for a new one,
    // raises EVENT_OBJECT_NAMECHANGE, EVENT_SYSTEM_ALERT for a failure, and where the system
    // takes the child as a live region (Windows 8 and later) EVENT_OBJECT_LIVEREGIONCHANGED.
    void Announce(HWND window, const char* statusText, int failed);

  private:
    StatusSpeech speech_;
    StatusClientObject* object_ = nullptr;
    bool comStarted_ = false;
};

}  // namespace tessaly
