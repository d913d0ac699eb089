// The install worker thread: the six steps with their real operations, then the close request.
#include <windows.h>

#include "install/install_dir_win.h"
#include "install/install_steps.h"
#include "install/install_worker_win.h"
#include "install/shared_status.h"
#include "install/prerequisites_win.h"
#include "package/desktop_shortcuts_win.h"
#include "package/download_files_win.h"
#include "package/launch_entries_win.h"
#include "package/load_file_list.h"

namespace tessaly {

unsigned long __stdcall InstallWorker(void*) {
    const std::array<StepOperation, INSTALL_STEP_COUNT> operations = {
        CheckPrerequisites, PrepareInstallDir,      LoadFileList,
        DownloadFiles,      CreateDesktopShortcuts, LaunchEntries,
    };
    if (RunInstallSteps(operations, SetStatus)) {
        // After a failed step the window stays up with the failure text until the user closes it.
        SendMessageW(State().mainWindow, WM_CLOSE, 0, 0);
    }
    return 0;
}

}  // namespace tessaly
