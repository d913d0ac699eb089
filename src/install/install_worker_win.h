// The worker thread that runs the install steps.
#pragma once

#include <windows.h>

#include "install/shared_status.h"

namespace tessaly {

// Starts the worker thread: it runs the six steps with the real operations for the installer window
// `mainWindow`, publishes each status to `shared` and, after a complete run, closes the window with
// a synchronous WM_CLOSE. Nothing waits for it, so `shared` must outlive the process's last thread.
// False when no thread could be started.
bool StartInstallWorker(HWND mainWindow, SharedStatus& shared);

}  // namespace tessaly
