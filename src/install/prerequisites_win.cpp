// The two runtime probes and the prerequisite check wired to the window and the shell.
#include "install/prerequisites_win.h"

#include <windows.h>
#include <shellapi.h>
#include <unknwn.h>

#include "common/cp936_text_win.h"
#include "common/failure_report.h"
#include "common/scoped_win.h"
#include "common/system_library_win.h"
#include "install/install_notice.h"
#include "install/prerequisite_check.h"

namespace tessaly {

// The start of ICLRMetaHost's vtable: IUnknown's three methods, then GetRuntime. The methods after
// it are never called, so they are not declared. It must not sit in an unnamed namespace: there
// the compiler sees that no class in this file implements it and turns the call into a call of
// the pure virtual stub.
struct ICLRMetaHost : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetRuntime(LPCWSTR version, REFIID riid, void** runtime) = 0;
};

namespace {

// CLR hosting identifiers, as the platform publishes them (MinGW ships no metahost.h).
constexpr GUID CLSID_CLRMetaHost = {
    0x9280188d, 0x0e8e, 0x4867, {0xb3, 0x0c, 0x7f, 0xa8, 0x38, 0x84, 0xe8, 0xde}};
constexpr GUID IID_ICLRMetaHost = {
    0xd332db9e, 0xb9b3, 0x4125, {0x82, 0x07, 0xa1, 0x48, 0x84, 0xf5, 0x32, 0x16}};
constexpr GUID IID_ICLRRuntimeInfo = {
    0xbd39d1d2, 0xba2f, 0x486a, {0x89, 0xb0, 0xb4, 0xb0, 0xcb, 0x46, 0x68, 0x91}};

constexpr char DOT_NET_CHECK[] = "check .NET Framework 4";

using CLRCreateInstanceFunction = HRESULT(WINAPI*)(REFCLSID clsid, REFIID riid, void** instance);

}  // namespace

bool IsDotNet4Installed() {
    // mscoree.dll stays loaded: the runtime it hands out may keep using it.
    HMODULE mscoree = LoadSystemLibrary("mscoree.dll");
    if (mscoree == nullptr) {
        ReportError(DOT_NET_CHECK, "mscoree.dll", GetLastError());
        return false;
    }
    const auto createInstance = reinterpret_cast<CLRCreateInstanceFunction>(
        reinterpret_cast<void*>(GetProcAddress(mscoree, "CLRCreateInstance")));
    if (createInstance == nullptr) {
        ReportFailure(DOT_NET_CHECK, "mscoree.dll",
                      "no CLRCreateInstance: only runtimes older than version 4");
        return false;
    }
    ScopedComPtr<ICLRMetaHost> metaHost;
    HRESULT result = createInstance(CLSID_CLRMetaHost, IID_ICLRMetaHost, metaHost.Receive());
    if (FAILED(result) || !metaHost) {
        ReportHresult(DOT_NET_CHECK, "CLRCreateInstance", result);
        return false;
    }
    ScopedComPtr<IUnknown> runtime;
    result = metaHost->GetRuntime(L"v4.0.30319", IID_ICLRRuntimeInfo, runtime.Receive());
    if (FAILED(result)) {
        ReportHresult(DOT_NET_CHECK, "GetRuntime v4.0.30319", result);
        return false;
    }
    return true;
}

bool IsVcRuntime2015Installed() {
    const ScopedLibrary library(LoadSystemLibrary("mfc140.dll"));
    if (!library.IsValid()) {
        ReportError("check the Visual C++ 2015 runtime", "mfc140.dll", GetLastError());
        return false;
    }
    return true;
}

bool CheckPrerequisites(const InstallContext& context, char (&noticeText)[NOTICE_TEXT_CAPACITY]) {
    const PrerequisiteActions actions{
        IsDotNet4Installed,
        IsVcRuntime2015Installed,
        [&context](const char* notice) {
            // Synchronous: returns once the user has closed the box, so the text stays put.
            SendMessageW(context.mainWindow, WM_INSTALL_NOTICE, 0,
                         reinterpret_cast<LPARAM>(notice));
        },
        [](const char* url) {
            ShellExecuteW(nullptr, L"open", AsWide(Cp936ToUtf16(url)), nullptr, nullptr,
                          SW_SHOWMAXIMIZED);
        },
    };
    return RunPrerequisiteCheck(actions, noticeText);
}

}  // namespace tessaly
