// What the prerequisite check decides, apart from the platform probes: the notice that names the
// missing runtimes, the help pages to open and the order in which everything happens.
#pragma once

#include <cstddef>
#include <functional>

namespace tessaly {

// Pages of the platform vendor's documentation that say where each runtime is downloaded. Without a
// language in the path the site answers in the browser's own language.
inline constexpr char DotNetHelpUrl[] =
    "https://learn.microsoft.com/dotnet/framework/install/on-windows-and-server";
inline constexpr char VcRuntimeHelpUrl[] =
    "https://learn.microsoft.com/cpp/windows/latest-supported-vc-redist";

constexpr std::size_t NOTICE_TEXT_CAPACITY = 1024;

// The notice's first line. Defined beside the notice's other parts, so that every includer sees its
// code page 936 bytes whatever its own execution character set.
extern const char PREREQUISITE_NOTICE_HEADER[];

// Zero-fills `notice` and, when anything is missing, writes the notice that lists the missing
// runtimes (.NET Framework 4 as item 1 when missing, the Visual C++ 2015 runtime after it).
void ComposePrerequisiteNotice(bool dotNet4Installed, bool vcRuntime2015Installed,
                               char (&notice)[NOTICE_TEXT_CAPACITY]);

struct HelpPages {
    const char* urls[2];
    std::size_t count;
};

// The help pages of the missing runtimes, .NET Framework 4's first.
HelpPages HelpPagesToOpen(bool dotNet4Installed, bool vcRuntime2015Installed);

struct PrerequisiteActions {
    std::function<bool()> isDotNet4Installed;
    std::function<bool()> isVcRuntime2015Installed;
    std::function<void(const char* notice)> showNotice;  // returns once the user has closed it
    std::function<void(const char* url)> openHelpPage;
};

// Runs both probes (.NET Framework 4 first, always both). When anything is missing, composes the
// notice into `notice`, shows it, then opens the help page of each missing runtime and returns
// false. Returns true, having done nothing else, when both are present.
bool RunPrerequisiteCheck(const PrerequisiteActions& actions, char (&notice)[NOTICE_TEXT_CAPACITY]);

}  // namespace tessaly
