// The worker thread that runs the install steps.
#pragma once

namespace tessaly {

// Thread routine: runs the six steps with the real operations and, after a complete run, closes the
// installer window with a synchronous WM_CLOSE. The parameter is unused; always returns 0.
unsigned long __stdcall InstallWorker(void* parameter);

}  // namespace tessaly
