// The install worker thread: the six steps with their real operations, then the close request.
#include "install/install_worker_win.h"

#include <memory>

#include "common/failure_report.h"
#include "common/scoped_win.h"
#include "install/install_dir_win.h"
#include "install/install_steps.h"
#include "install/prerequisites_win.h"
#include "package/desktop_shortcuts_win.h"
#include "package/download_files_win.h"
#include "package/install_context_win.h"
#include "package/launch_entries_win.h"
#include "package/load_file_list_win.h"

namespace tessaly {

namespace {

// What the window hands the thread; the thread frees it.
struct WorkerStart {
    HWND mainWindow;
    SharedStatus* shared;
};

unsigned long __stdcall InstallWorker(void* parameter) {
    const std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(parameter));
    SharedStatus& shared = *start->shared;
    // The worker's own, for as long as it runs: only the steps it calls, on this thread, touch it.
    InstallContext context = {};
    context.mainWindow = start->mainWindow;
    const std::array<StepOperation, INSTALL_STEP_COUNT> operations = {
        [&] { return CheckPrerequisites(context, shared.NoticeText()); },
        [&] { return PrepareInstallDir(context); },
        [&] { return LoadFileList(context); },
        [&] { return DownloadFiles(context); },
        [&] { return CreateDesktopShortcuts(context); },
        [&] { return LaunchEntries(context); },
    };
    const bool completed = RunInstallSteps(
        operations, [&shared](const char* text, int failed) { shared.SetStatus(text, failed); });
    if (completed) {
        // After a failed step the window stays up with the failure text until the user closes it.
        SendMessageW(context.mainWindow, WM_CLOSE, 0, 0);
    }
    return 0;
}

}  // namespace

bool StartInstallWorker(HWND mainWindow, SharedStatus& shared) {
    auto start = std::make_unique<WorkerStart>(WorkerStart{mainWindow, &shared});
    // Nothing ever waits for the thread; its handle is not needed.
    const ScopedKernelHandle worker(
        CreateThread(nullptr, 0, InstallWorker, start.get(), 0, nullptr));
    if (!worker.IsValid()) {
        ReportError("start the install", "CreateThread", GetLastError());
        return false;
    }
    start.release();  // the thread frees it
    return true;
}

}  // namespace tessaly
