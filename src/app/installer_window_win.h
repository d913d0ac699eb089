// The installer's one top-level window: its class, its window procedure and its timer.
#pragma once

#include <windows.h>

namespace tessaly {

// The window's only timer: one animation step of the status line every 500 ms.
constexpr UINT_PTR ANIMATION_TIMER_ID = 123;
constexpr UINT ANIMATION_PERIOD_MS = 500;

// Registers the window class named `windowClassName`; the result is not examined.
void RegisterWindowClass(HINSTANCE instance);

LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace tessaly
