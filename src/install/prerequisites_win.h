// Step 1 of the install: the runtimes the installed application needs.
#pragma once

namespace tessaly {

// True when a usable 32-bit .NET Framework 4 runtime (v4.0.30319) is present.
bool IsDotNet4Installed();
// True when "mfc140.dll" (the Visual C++ 2015 runtime with its MFC library) can be loaded.
bool IsVcRuntime2015Installed();
// Runs both probes; when anything is missing, shows the notice through the window, opens the help
// page of each missing runtime and returns false.
bool CheckPrerequisites();

}  // namespace tessaly
