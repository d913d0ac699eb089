// The process entry: loads the window's texts, creates the installer window and runs the message
// loop until the window is gone. The exit code is always 0.
#include <windows.h>

#include "app/installer_window_win.h"
#include "common/failure_report.h"
#include "common/failure_report_win.h"
#include "common/system_library_win.h"
#include "install/shared_status.h"

namespace {

constexpr UINT WINDOW_TITLE_ID = 103;
constexpr UINT WINDOW_CLASS_NAME_ID = 109;
// A title bar with the system menu and the close button; no sizing, no minimise or maximise.
constexpr DWORD WINDOW_STYLE = WS_CAPTION | WS_SYSMENU;

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    using namespace tessaly;
    // Before anything can load a DLL by name.
    RestrictDllSearch();
    SetFailureLineWriter(WriteDebugLine);

    // Where the worker publishes its status and writes its notice. Nothing waits for the worker:
    // it may still be writing here while the process exits, after this function has returned and
    // while the static objects are destroyed. So the record is made once and never destroyed.
    auto* const shared = new SharedStatus();

    // The window's own record. It outlives the window: the window is destroyed before the message
    // loop below ends.
    InstallerWindowState state = {};
    state.resourceModule = instance;
    state.shared = shared;
    // The string resources are UTF-16 already: read as they are, they show as written under any
    // ANSI code page.
    LoadStringW(instance, WINDOW_TITLE_ID, state.windowTitle, WINDOW_TEXT_CAPACITY);
    LoadStringW(instance, WINDOW_CLASS_NAME_ID, state.windowClassName, WINDOW_TEXT_CAPACITY);
    RegisterWindowClass(instance, state.windowClassName);

    // The position and size only last when there is no splash picture to fit the window to.
    HWND window =
        CreateWindowExW(0, state.windowClassName, state.windowTitle, WINDOW_STYLE, CW_USEDEFAULT, 0,
                        CW_USEDEFAULT, 0, nullptr, nullptr, instance, &state);
    if (window == nullptr) {
        return 0;
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    MSG message = {};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
