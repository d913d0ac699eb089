// Renders what the installer window shows for a given status, with the installer's own painter
// and splash picture, into a 24-bit BMP. The Wine tests compare a screenshot of the running
// installer with this picture to tell which status text it shows.
//
//   status_render_probe INSTALLER_EXE OUT_BMP FAILED TICK TEXT
//
// TEXT is converted to code page 936, as the installer stores its texts.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/scoped_win.h"
#include "ui/display_scale_win.h"
#include "ui/splash_image_win.h"
#include "ui/splash_picture_win.h"
#include "ui/status_painter_win.h"

namespace {

// The status text as the installer stores it: code page 936. It is taken from the wide command
// line, so that it arrives whatever code page the probe itself runs under.
std::string StatusArgumentInCodePage936(int index) {
    int count = 0;
    const tessaly::ScopedHandle<LPWSTR*, LocalFree> args(
        CommandLineToArgvW(GetCommandLineW(), &count));
    const wchar_t* wide = index < count ? args.Get()[index] : L"";
    const int bytes = WideCharToMultiByte(936, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(936, 0, wide, -1, ansi.data(), bytes, nullptr, nullptr);
    return ansi;
}

void ReleaseScreenDc(HDC dc) {
    ReleaseDC(nullptr, dc);
}

bool WriteBmp(const char* path, const void* bits, int width, int height) {
    const DWORD rowBytes = static_cast<DWORD>(((width * 3) + 3) & ~3);
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = -height;  // top-down rows, as the DIB section holds them
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + rowBytes * static_cast<DWORD>(height);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(static_cast<const char*>(bits), static_cast<std::streamsize>(rowBytes) * height);
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: status_render_probe INSTALLER_EXE OUT_BMP FAILED TICK TEXT\n");
        return 2;
    }
    // The splash picture lives among the installer's resources.
    HMODULE installer = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (installer == nullptr) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }

    Gdiplus::GdiplusStartupInput startup;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &startup, nullptr);
    const std::unique_ptr<tessaly::SplashPicture> picture = tessaly::LoadSplashImage(installer);
    if (picture == nullptr) {
        std::fprintf(stderr, "no splash picture in %s\n", argv[1]);
        return 1;
    }
    const int width = static_cast<int>(picture->Width());
    const int height = static_cast<int>(picture->Height());

    // A hidden window whose client area has the picture's size: the painter lays its text out
    // in the client rectangle of the window it is given.
    RECT frame = {0, 0, width, height};
    AdjustWindowRect(&frame, WS_CAPTION | WS_SYSMENU, FALSE);
    const tessaly::ScopedHandle<HWND, DestroyWindow> window(CreateWindowExA(
        0, "STATIC", "", WS_CAPTION | WS_SYSMENU, 0, 0, frame.right - frame.left,
        frame.bottom - frame.top, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr));
    RECT client;
    GetClientRect(window.Get(), &client);
    SetWindowPos(window.Get(), nullptr, 0, 0, frame.right - frame.left + width - client.right,
                 frame.bottom - frame.top + height - client.bottom, SWP_NOMOVE | SWP_NOZORDER);

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    // Declared so that the memory DC goes before the bitmap selected into it.
    const tessaly::ScopedHandle<HDC, ReleaseScreenDc> screen(GetDC(nullptr));
    const tessaly::ScopedHandle<HBITMAP, DeleteObject> bitmap(
        CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    const tessaly::ScopedHandle<HDC, DeleteDC> dc(CreateCompatibleDC(screen.Get()));
    SelectObject(dc.Get(), bitmap.Get());

    // What the installer window hands its painter: the status, its animation step and its DPI.
    const std::string text = StatusArgumentInCodePage936(5);
    tessaly::PaintStatus(dc.Get(), window.Get(), picture.get(),
                         {text.c_str(), std::atoi(argv[3]), std::atoi(argv[4]),
                          tessaly::WindowDpi(window.Get(), 0)});
    GdiFlush();
    return WriteBmp(argv[2], bits, width, height) ? 0 : 1;
}
