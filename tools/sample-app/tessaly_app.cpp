// The stand-in Tessaly application that scripts/demo.sh packs and installs: one window titled
// "Tessaly" that shows its name and the folder it runs from, so the last screen of the demo
// proves that the installed copy under Program Files was started. Built with MinGW by the demo:
//   x86_64-w64-mingw32-g++-posix -O2 -static -mwindows -o Tessaly.exe tessaly_app.cpp
#include <windows.h>

#include <string>

namespace {

constexpr wchar_t CLASS_NAME[] = L"TessalySampleApp";
constexpr int WIDTH = 640;
constexpr int HEIGHT = 360;

// The folder that holds this program, without the trailing backslash.
std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    const std::size_t slash = folder.find_last_of(L'\\');
    return slash == std::wstring::npos ? folder : folder.substr(0, slash);
}

void DrawLine(HDC dc, const std::wstring& text, int height, int weight, COLORREF colour,
              RECT area) {
    HFONT font = CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                             DEFAULT_PITCH, L"Microsoft Sans Serif");
    HGDIOBJ old = SelectObject(dc, font);
    SetTextColor(dc, colour);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
              DT_CENTER | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_PATH_ELLIPSIS);
    SelectObject(dc, old);
    DeleteObject(font);
}

void Paint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    HBRUSH background = CreateSolidBrush(RGB(24, 64, 112));
    FillRect(dc, &client, background);
    DeleteObject(background);
    SetBkMode(dc, TRANSPARENT);
    const int third = (client.bottom - client.top) / 3;
    DrawLine(dc, L"Tessaly", 96, FW_BOLD, RGB(255, 255, 255),
             {client.left, client.top + third / 2, client.right, client.top + 2 * third});
    DrawLine(dc, L"running from " + ProgramFolder(), 22, FW_NORMAL, RGB(200, 220, 255),
             {client.left + 16, client.top + 2 * third, client.right - 16, client.bottom - 16});
    EndPaint(window, &paint);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            Paint(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.lpszClassName = CLASS_NAME;
    if (!RegisterClassW(&windowClass)) {
        return 1;
    }
    // Centred on the screen, the client area WIDTH x HEIGHT.
    RECT frame = {0, 0, WIDTH, HEIGHT};
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    AdjustWindowRect(&frame, style, FALSE);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    HWND window =
        CreateWindowW(CLASS_NAME, L"Tessaly", style, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                      (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr, nullptr,
                      instance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    ShowWindow(window, show);
    UpdateWindow(window);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
