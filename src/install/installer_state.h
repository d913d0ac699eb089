// The one process-wide record through which the install worker, the step operations and the window
// share everything. It is deliberately free of platform headers: the window handle and the splash
// image are declared by name only, so the logic around it builds and runs on any host.
#pragma once

#include <cstdint>
#include <mutex>

#include "package/install_entry.h"

struct HWND__;  // what the platform's HWND points to
namespace Gdiplus {
class Image;
}

namespace tessaly {

constexpr std::size_t kStatusTextCapacity = 512;

struct InstallerState {
    // The status line and its failed flag are written by the worker and read by the painter; both
    // go through `statusLock` so a paint never sees a half-written text or a mismatched flag.
    std::mutex statusLock;
    char statusText[kStatusTextCapacity];
    std::int32_t failed;

    std::int32_t tick;  // window thread only
    HWND__* mainWindow;
    char installDir[512];
    char desktopDir[512];
    char noticeText[1024];
    EntryList entries;
    Gdiplus::Image* splashImage;
    std::uintptr_t gdiplusToken;
    char windowTitle[100];
    char windowClassName[100];
};

// The process-wide state. It is created on first use and never destroyed, so a worker thread that
// is still running while the process exits never touches a destroyed object.
InstallerState& State();

// Publishes a status: copies `text` into `statusText`, then stores `failedValue` into `failed`.
void SetStatus(const char* text, int failedValue);

struct StatusSnapshot {
    char text[kStatusTextCapacity];
    int failed;
};

// One consistent copy of the pair (`statusText`, `failed`).
StatusSnapshot ReadStatus();

}  // namespace tessaly
