// Step 1 of the install: the runtimes the installed application needs.
#pragma once

#include "install/prerequisite_check.h"
#include "package/install_context_win.h"

namespace tessaly {

// True when a usable 32-bit .NET Framework 4 runtime (v4.0.30319) is present.
bool IsDotNet4Installed();
// True when "mfc140.dll" (the Visual C++ 2015 runtime with its MFC library) can be loaded.
bool IsVcRuntime2015Installed();
// Runs both probes; when anything is missing, composes the notice into `noticeText`, has the
// context's window show it, opens the help page of each missing runtime and returns false.
bool CheckPrerequisites(const InstallContext& context, char (&noticeText)[NOTICE_TEXT_CAPACITY]);

}  // namespace tessaly
