// The process entry: loads the window's texts, creates the installer window and runs the message
// loop until the window is gone. The exit code is always 0.
#include <windows.h>

#include "app/installer_window.h"
#include "common/system_library_win.h"
#include "install/installer_state.h"
#include "ui/splash_image.h"

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
    InstallerState& state = State();
    KeepResourceModule(instance);
    LoadStringA(instance, WINDOW_TITLE_ID, state.windowTitle, sizeof state.windowTitle);
    LoadStringA(instance, WINDOW_CLASS_NAME_ID, state.windowClassName,
                sizeof state.windowClassName);
    RegisterWindowClass(instance);

    // The position and size only last when there is no splash picture to fit the window to.
    HWND window =
        CreateWindowExA(0, state.windowClassName, state.windowTitle, WINDOW_STYLE, CW_USEDEFAULT, 0,
                        CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return 0;
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    MSG message = {};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
