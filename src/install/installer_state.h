// The one process-wide record through which the install worker, the step operations and the window
// share everything. It is deliberately free of platform headers: the window handle and the splash
// image are declared by name only, so the logic around it builds and runs on any host.
#pragma once

#include <cstdint>
#include <mutex>

#include "common/cp936_text.h"
#include "install/install_dir_paths.h"
#include "install/prerequisite_check.h"
#include "package/entry_paths.h"
#include "package/install_entry.h"

struct HWND__;  // what the platform's HWND points to

namespace tessaly {

class SplashPicture;

constexpr std::size_t STATUS_TEXT_CAPACITY = 512;
constexpr std::size_t WINDOW_TEXT_CAPACITY = 100;  // the window title and class name, in units

struct InstallerState {
    // The status line and its failed flag are written by the worker and read by the painter; both
    // go through `statusLock` so a paint never sees a half-written text or a mismatched flag.
    std::mutex statusLock;
    char statusText[STATUS_TEXT_CAPACITY];
    std::int32_t failed;

    std::int32_t tick;  // window thread only
    HWND__* mainWindow;
    char installDir[INSTALL_DIR_CAPACITY];
    char desktopDir[DESKTOP_DIR_CAPACITY];
    // The folders `installDir` and `desktopDir` begin with, as Windows named them (worker only).
    WideFolder programFilesFolder;
    WideFolder desktopFolder;
    char noticeText[NOTICE_TEXT_CAPACITY];
    EntryList entries;
    SplashPicture* splashImage;
    std::uintptr_t gdiplusToken;
    // UTF-16, as the string resources hold them.
    char16_t windowTitle[WINDOW_TEXT_CAPACITY];
    char16_t windowClassName[WINDOW_TEXT_CAPACITY];
};

// The process-wide state. It is created on first use and never destroyed, so a worker thread that
// is still running while the process exits never touches a destroyed object.
InstallerState& State();

// Publishes a status: copies `text` into `statusText`, then stores `failedValue` into `failed`.
void SetStatus(const char* text, int failedValue);

struct StatusSnapshot {
    char text[STATUS_TEXT_CAPACITY];
    int failed;
};

// One consistent copy of the pair (`statusText`, `failed`).
StatusSnapshot ReadStatus();

}  // namespace tessaly
