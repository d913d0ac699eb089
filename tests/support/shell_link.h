// Reads the fields of a Windows shell link (.lnk) file that the installer's desktop shortcuts
// carry, following the published Shell Link Binary File Format: the header, the optional
// LinkTargetIDList (skipped), the LinkInfo with its local base path, and the StringData strings
// (ANSI in the code page given, or UTF-16 when the header says IsUnicode).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tessaly::test {

struct ShellLink {
    std::uint32_t linkFlags = 0;
    std::uint32_t fileAttributes = 0;
    int showCommand = 0;
    bool hasIdList = false;
    // UTF-8 texts; empty when the link does not carry the field.
    std::string localBasePath;  // LinkInfo: the target as a local path
    std::string commonPathSuffix;
    std::string name;  // NAME_STRING: the description
    std::string relativePath;
    std::string workingDir;
    std::string arguments;
    std::string iconLocation;
    // Set when the file was read as Wine writes it (see ParseWineShellLink).
    bool relativePathFlagAdded = false;
};

// Parses the bytes of a .lnk file; ANSI texts are decoded from `ansiCodePage` ("CP936" and so
// on, as iconv names it). std::nullopt when the bytes are not a well-formed shell link.
std::optional<ShellLink> ParseShellLink(const std::string& bytes,
                                        const std::string& ansiCodePage = "CP936");
std::optional<ShellLink> ReadShellLink(const std::string& path,
                                       const std::string& ansiCodePage = "CP936");

// As ParseShellLink, for the links Wine's link writer makes: it stores the relative path string
// without setting HasRelativePath in the header, so the strict reader takes that string for the
// next field and refuses the file. Such a file is read again with the flag set, and the result
// says so in `relativePathFlagAdded`.
std::optional<ShellLink> ParseWineShellLink(const std::string& bytes,
                                            const std::string& ansiCodePage = "CP936");
std::optional<ShellLink> ReadWineShellLink(const std::string& path,
                                           const std::string& ansiCodePage = "CP936");

}  // namespace tessaly::test
