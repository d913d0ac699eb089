// The installer's one top-level window: its class, its window procedure, its timer and the state
// it keeps for itself.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "install/shared_status.h"
#include "ui/splash_picture_win.h"
#include "ui/status_accessible_win.h"

namespace tessaly {

// The window's only timer: one animation step of the status line every 500 ms.
constexpr UINT_PTR ANIMATION_TIMER_ID = 123;
constexpr UINT ANIMATION_PERIOD_MS = 500;

constexpr std::size_t WINDOW_TEXT_CAPACITY = 100;  // the window title and class name, in units

// What the window keeps, all of it on the window thread. The process entry fills in the first four
// fields and hands the record to CreateWindowExW as its creation parameter; the window finds it
// again from its handle. Only `shared` is also reached by the worker.
struct InstallerWindowState {
    HINSTANCE resourceModule;  // holds the splash picture
    // UTF-16, as the string resources hold them.
    wchar_t windowTitle[WINDOW_TEXT_CAPACITY];
    wchar_t windowClassName[WINDOW_TEXT_CAPACITY];
    SharedStatus* shared;  // what the worker publishes, and where its notice is written
    ULONG_PTR gdiplusToken;
    std::unique_ptr<SplashPicture> splashImage;  // released before GDI+ shuts down
    std::int32_t tick;                           // animation counter, +1 every 500 ms from 0
    std::int32_t announcedDpi;          // the last DPI WM_DPICHANGED announced; 0 before any
    StatusAccessible accessibleStatus;  // the status line as screen readers see it
};

// Registers the window class named `className`; the result is not examined.
void RegisterWindowClass(HINSTANCE instance, const wchar_t* className);

LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace tessaly
