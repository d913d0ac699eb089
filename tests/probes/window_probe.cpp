// Looks at the installer's windows from outside, as a user would, for the Wine tests.
// Prints "key=value" lines in UTF-8 and exits 0 on success, 1 when the window did not turn up in
// time, 2 on a usage error.
//
//   window_probe info CLASSNAME [TIMEOUT_MS]
//       waits until a visible top-level window of that class exists, then prints
//       title=<window title>
//       client=<width>x<height>
//       client-origin=<x>,<y>          (screen position of the client area's top-left corner)
//       window=<left>,<top>,<right>,<bottom>
//       screen=<width>x<height>
//       style=<hex window style>
//   window_probe close CLASSNAME [TIMEOUT_MS]
//       posts WM_CLOSE to that window (what its close button leads to) and prints "closed=1".
//   window_probe dpi-changed CLASSNAME DPI LEFT TOP RIGHT BOTTOM
//       sends that window WM_DPICHANGED for DPI with the suggested window rectangle given, as the
//       system does when the window moves to a display of another scale, then prints the lines
//       of "info". The rectangle is written into the window's process, where the message's
//       pointer is read.
//   window_probe notice [--leave-open] [TIMEOUT_MS]
//       waits for the installer's notice box (found by its caption, NOTICE_CAPTION), prints
//       owner=<class name of its owner window, empty when none>
//       icon=<1 when the box shows an icon, else 0>
//       buttons=<its buttons, e.g. OK or OK,CANCEL>
//       text=<the box's text, exactly, up to the end of the output>
//       and then, unless --leave-open, presses OK and waits for the box to close.
//   window_probe accessible CLASSNAME [TIMEOUT_MS]
//       reads that window's client object as a screen reader does (AccessibleObjectFromWindow,
//       AccessibleChildren) and prints
//       name=<the client object's name>
//       role=<its role, decimal>
//       child=<child id> role=<role> state=<hex state> name=<name>     (one line per child)
//       then listens to the window's WinEvents (an out-of-context hook) and prints, reading the
//       child as each one is handled,
//       event=namechange child=<id> state=<hex state> name=<name>
//       event=alert child=<id>
//       event=liveregion child=<id>
//       until an alert has come and 1.5 s more have passed, the window is gone, or TIMEOUT_MS has
//       passed since it was found; then it prints the children once more. Exits 1 when the
//       window or its client object cannot be had.
//
// TIMEOUT_MS defaults to 20000.
#include <windows.h>
#include <oleacc.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "install/install_notice.h"

namespace {

constexpr DWORD DEFAULT_TIMEOUT_MS = 20000;
constexpr DWORD POLL_MS = 50;
constexpr wchar_t DIALOG_CLASS[] = L"#32770";

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], length,
                        nullptr, nullptr);
    return out;
}

// NUL-terminated `text` in `codePage` as UTF-16.
std::wstring Wide(const char* text, UINT codePage = CP_UTF8) {
    const int length = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(length > 0 ? length : 1), L'\0');
    MultiByteToWideChar(codePage, 0, text, -1, &out[0], length);
    out.resize(out.size() - 1);
    return out;
}

std::wstring WindowText(HWND window) {
    wchar_t buffer[4096] = {};
    GetWindowTextW(window, buffer, static_cast<int>(sizeof buffer / sizeof buffer[0]));
    return buffer;
}

std::wstring ClassName(HWND window) {
    wchar_t buffer[256] = {};
    GetClassNameW(window, buffer, static_cast<int>(sizeof buffer / sizeof buffer[0]));
    return buffer;
}

void Print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

// Polls `find` until it returns a window or `timeoutMs` has passed.
template <typename Find>
HWND WaitForWindow(Find find, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND window = find()) {
            return window;
        }
        if (GetTickCount() - start >= timeoutMs) {
            return nullptr;
        }
        Sleep(POLL_MS);
    }
}

HWND FindVisibleWindow(const std::wstring& className) {
    HWND window = FindWindowW(className.c_str(), nullptr);
    return window != nullptr && IsWindowVisible(window) ? window : nullptr;
}

int Info(const std::wstring& className, DWORD timeoutMs) {
    HWND window = WaitForWindow([&] { return FindVisibleWindow(className); }, timeoutMs);
    if (window == nullptr) {
        Print("error=no visible window of that class\n");
        return 1;
    }
    RECT client = {};
    RECT outer = {};
    POINT origin = {0, 0};
    GetClientRect(window, &client);
    GetWindowRect(window, &outer);
    ClientToScreen(window, &origin);
    char lines[512];
    std::snprintf(lines, sizeof lines,
                  "client=%ldx%ld\nclient-origin=%ld,%ld\nwindow=%ld,%ld,%ld,%ld\n"
                  "screen=%dx%d\nstyle=%08lx\n",
                  client.right - client.left, client.bottom - client.top, origin.x, origin.y,
                  outer.left, outer.top, outer.right, outer.bottom, GetSystemMetrics(SM_CXSCREEN),
                  GetSystemMetrics(SM_CYSCREEN),
                  static_cast<unsigned long>(GetWindowLongW(window, GWL_STYLE)));
    Print("title=" + Utf8(WindowText(window)) + "\n" + lines);
    return 0;
}

int Close(const std::wstring& className, DWORD timeoutMs) {
    HWND window = WaitForWindow([&] { return FindWindowW(className.c_str(), nullptr); }, timeoutMs);
    if (window == nullptr) {
        Print("error=no window of that class\n");
        return 1;
    }
    PostMessageW(window, WM_CLOSE, 0, 0);
    Print("closed=1\n");
    return 0;
}

int DpiChanged(const std::wstring& className, char** numbers) {
    HWND window = FindVisibleWindow(className);
    if (window == nullptr) {
        Print("error=no visible window of that class\n");
        return 1;
    }
    const auto dpi = static_cast<WORD>(std::strtoul(numbers[0], nullptr, 10));
    const RECT suggested = {std::atoi(numbers[1]), std::atoi(numbers[2]), std::atoi(numbers[3]),
                            std::atoi(numbers[4])};
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId);
    void* remote = process != nullptr ? VirtualAllocEx(process, nullptr, sizeof suggested,
                                                       MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)
                                      : nullptr;
    DWORD_PTR result = 0;
    const bool sent =
        remote != nullptr &&
        WriteProcessMemory(process, remote, &suggested, sizeof suggested, nullptr) &&
        SendMessageTimeoutW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                            reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG, 10000, &result);
    if (remote != nullptr) {
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    if (process != nullptr) {
        CloseHandle(process);
    }
    if (!sent) {
        Print("error=could not send WM_DPICHANGED: " + std::to_string(GetLastError()) + "\n");
        return 1;
    }
    return Info(className, 0);
}

struct BoxContents {
    std::wstring text;
    bool icon = false;
    std::vector<std::pair<int, HWND>> buttons;  // control id, control
};

BOOL CALLBACK CollectControl(HWND control, LPARAM param) {
    auto* contents = reinterpret_cast<BoxContents*>(param);
    if (!IsWindowVisible(control)) {
        return TRUE;
    }
    const std::wstring kind = ClassName(control);
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    if (_wcsicmp(kind.c_str(), L"Button") == 0) {
        contents->buttons.emplace_back(GetDlgCtrlID(control), control);
    } else if (_wcsicmp(kind.c_str(), L"Static") == 0) {
        if ((style & SS_TYPEMASK) == SS_ICON) {
            contents->icon = contents->icon || SendMessageW(control, STM_GETICON, 0, 0) != 0;
        } else if (contents->text.empty()) {
            contents->text = WindowText(control);
        }
    }
    return TRUE;
}

const char* ButtonName(int id) {
    switch (id) {
        case IDOK:
            return "OK";
        case IDCANCEL:
            return "CANCEL";
        case IDABORT:
            return "ABORT";
        case IDRETRY:
            return "RETRY";
        case IDIGNORE:
            return "IGNORE";
        case IDYES:
            return "YES";
        case IDNO:
            return "NO";
        case IDTRYAGAIN:
            return "TRYAGAIN";
        case IDCONTINUE:
            return "CONTINUE";
        default:
            return "OTHER";
    }
}

HWND FindNoticeBox() {
    // The caption as the installer shows it: its code page 936 bytes converted.
    static const std::wstring caption = Wide(tessaly::NOTICE_CAPTION, 936);
    HWND box = FindWindowW(DIALOG_CLASS, caption.c_str());
    return box != nullptr && IsWindowVisible(box) ? box : nullptr;
}

int Notice(bool leaveOpen, DWORD timeoutMs) {
    HWND box = WaitForWindow(FindNoticeBox, timeoutMs);
    if (box == nullptr) {
        Print("error=no notice box\n");
        return 1;
    }
    BoxContents contents;
    EnumChildWindows(box, CollectControl, reinterpret_cast<LPARAM>(&contents));
    HWND owner = GetWindow(box, GW_OWNER);
    std::string buttons;
    HWND okButton = nullptr;
    for (const auto& [id, control] : contents.buttons) {
        buttons += (buttons.empty() ? "" : ",") + std::string(ButtonName(id));
        if (id == IDOK) {
            okButton = control;
        }
    }
    Print("owner=" + (owner != nullptr ? Utf8(ClassName(owner)) : std::string()) + "\n" +
          "icon=" + (contents.icon ? "1" : "0") + "\n" + "buttons=" + buttons + "\n" +
          "text=" + Utf8(contents.text));
    if (leaveOpen) {
        return 0;
    }
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(okButton));
    const DWORD start = GetTickCount();
    while (IsWindow(box)) {
        if (GetTickCount() - start >= timeoutMs) {
            return 1;
        }
        Sleep(POLL_MS);
    }
    return 0;
}

// The accessible object's text, or "" where it has none.
std::string Text(IAccessible* object,
                 HRESULT (STDMETHODCALLTYPE IAccessible::*property)(VARIANT, BSTR*), LONG child) {
    VARIANT id = {};
    id.vt = VT_I4;
    id.lVal = child;
    BSTR text = nullptr;
    if ((object->*property)(id, &text) != S_OK || text == nullptr) {
        return std::string();
    }
    std::string utf8 = Utf8(std::wstring(text, SysStringLen(text)));
    SysFreeString(text);
    return utf8;
}

// get_accRole or get_accState as a number; -1 where it is not one.
long Number(IAccessible* object,
            HRESULT (STDMETHODCALLTYPE IAccessible::*property)(VARIANT, VARIANT*), LONG child) {
    VARIANT id = {};
    id.vt = VT_I4;
    id.lVal = child;
    VARIANT value;
    VariantInit(&value);
    const bool read = (object->*property)(id, &value) == S_OK && value.vt == VT_I4;
    VariantClear(&value);
    return read ? value.lVal : -1;
}

std::string Hex(long value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(value));
    return text;
}

std::string ChildLine(IAccessible* client, LONG child) {
    return "child=" + std::to_string(child) +
           " role=" + std::to_string(Number(client, &IAccessible::get_accRole, child)) +
           " state=" + Hex(Number(client, &IAccessible::get_accState, child)) +
           " name=" + Text(client, &IAccessible::get_accName, child) + "\n";
}

// The children that are simple elements of the client object (the status line is one).
void PrintChildren(IAccessible* client) {
    LONG count = 0;
    client->get_accChildCount(&count);
    std::vector<VARIANT> children(static_cast<std::size_t>(count > 0 ? count : 0));
    LONG obtained = 0;
    if (count > 0 && SUCCEEDED(AccessibleChildren(client, 0, count, children.data(), &obtained))) {
        for (LONG i = 0; i < obtained; ++i) {
            if (children[i].vt == VT_I4) {
                Print(ChildLine(client, children[i].lVal));
            }
            VariantClear(&children[i]);
        }
    }
}

// EVENT_OBJECT_LIVEREGIONCHANGED (Windows 8 and later, so not declared for Windows 7).
constexpr DWORD LIVE_REGION_CHANGED = 0x8019;

struct HeardEvent {
    DWORD event;
    LONG child;
};

// Filled by the hook, emptied by the loop that pumps its messages: the child is read between
// messages, since a cross-process call would dispatch further events inside the hook.
HWND listenedWindow = nullptr;
std::deque<HeardEvent> heardEvents;

void CALLBACK HearEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD,
                        DWORD) {
    const bool wanted = event == EVENT_OBJECT_NAMECHANGE || event == EVENT_SYSTEM_ALERT ||
                        event == LIVE_REGION_CHANGED;
    if (wanted && window == listenedWindow && object == OBJID_CLIENT) {
        heardEvents.push_back({event, child});
    }
}

int Accessible(const std::wstring& className, DWORD timeoutMs) {
    HWND window = WaitForWindow([&] { return FindVisibleWindow(className); }, timeoutMs);
    if (window == nullptr) {
        Print("error=no visible window of that class\n");
        return 1;
    }
    CoInitialize(nullptr);
    IAccessible* client = nullptr;
    const HRESULT found =
        AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                   reinterpret_cast<void**>(&client));
    if (FAILED(found)) {
        Print("error=no client object: " + Hex(found) + "\n");
        return 1;
    }
    Print("name=" + Text(client, &IAccessible::get_accName, CHILDID_SELF) + "\n" +
          "role=" + std::to_string(Number(client, &IAccessible::get_accRole, CHILDID_SELF)) + "\n");
    PrintChildren(client);

    listenedWindow = window;
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, HearEvent, 0, 0,
                                         WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    DWORD end = GetTickCount() + timeoutMs;
    while (static_cast<LONG>(end - GetTickCount()) > 0 && IsWindow(window)) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, POLL_MS, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
        while (!heardEvents.empty()) {
            const HeardEvent heard = heardEvents.front();
            heardEvents.pop_front();
            const std::string child = std::to_string(heard.child);
            if (heard.event == EVENT_OBJECT_NAMECHANGE) {
                Print("event=namechange " + ChildLine(client, heard.child));
            } else if (heard.event == EVENT_SYSTEM_ALERT) {
                Print("event=alert child=" + child + "\n");
                end = GetTickCount() + 1500;  // time for any event that should not come
            } else {
                Print("event=liveregion child=" + child + "\n");
            }
        }
    }
    UnhookWinEvent(hook);
    if (IsWindow(window)) {
        PrintChildren(client);
    }
    client->Release();
    return 0;
}

int Usage() {
    Print(
        "usage: window_probe info|close CLASSNAME [TIMEOUT_MS] | notice [--leave-open] "
        "[TIMEOUT_MS] | dpi-changed CLASSNAME DPI LEFT TOP RIGHT BOTTOM | accessible CLASSNAME "
        "[TIMEOUT_MS]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);  // UTF-8 bytes and bare line feeds, as printed
    if (argc < 2) {
        return Usage();
    }
    const std::string command = argv[1];
    if (command == "notice") {
        int next = 2;
        const bool leaveOpen = argc > next && std::string(argv[next]) == "--leave-open";
        if (leaveOpen) {
            ++next;
        }
        const DWORD timeoutMs = argc > next
                                    ? static_cast<DWORD>(std::strtoul(argv[next], nullptr, 10))
                                    : DEFAULT_TIMEOUT_MS;
        return Notice(leaveOpen, timeoutMs);
    }
    if (argc < 3) {
        return Usage();
    }
    const std::wstring className = Wide(argv[2]);
    if (command == "dpi-changed") {
        return argc == 8 ? DpiChanged(className, argv + 3) : Usage();
    }
    const DWORD timeoutMs =
        argc > 3 ? static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)) : DEFAULT_TIMEOUT_MS;
    if (command == "info") {
        return Info(className, timeoutMs);
    }
    if (command == "close") {
        return Close(className, timeoutMs);
    }
    if (command == "accessible") {
        return Accessible(className, timeoutMs);
    }
    return Usage();
}
