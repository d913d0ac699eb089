// What the built programs carry: their file format, flags and resources.
// The 32-bit program's file format and flags, and, in it and in the build the Wine tests run, the
// resources the window reads: title and class name, both icon groups, the splash picture and the
// manifest, read from the program file's resource tree with their languages.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/window_texts.h"
#include "support/files.h"
#include "support/process.h"

namespace fs = std::filesystem;

namespace tessaly::test {
namespace {

constexpr std::uint16_t CHINESE_SIMPLIFIED = 2052;
constexpr std::uint16_t ENGLISH_US = 1033;
constexpr std::uint16_t RT_ICON = 3, RT_MENU = 4, RT_DIALOG = 5, RT_STRING = 6, RT_ACCELERATOR = 9,
                        RT_GROUP_ICON = 14, RT_MANIFEST = 24;

std::uint16_t U16(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes.at(at)) |
                                      static_cast<unsigned char>(bytes.at(at + 1)) << 8);
}
std::uint32_t U32(const std::string& bytes, std::size_t at) {
    return U16(bytes, at) | static_cast<std::uint32_t>(U16(bytes, at + 2)) << 16;
}
std::uint32_t BigEndian32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value = value << 8 | static_cast<unsigned char>(bytes.at(at + i));
    }
    return value;
}

// A resource type or name: an ordinal, or a text (kept as ASCII; ours are).
struct ResourceId {
    std::uint16_t ordinal = 0;
    std::string text;
    bool operator<(const ResourceId& o) const {
        return ordinal != o.ordinal ? ordinal < o.ordinal : text < o.text;
    }
};
ResourceId Ordinal(std::uint16_t value) {
    return {value, ""};
}
ResourceId Named(const std::string& text) {
    return {0, text};
}

struct ResourceKey {
    ResourceId type;
    ResourceId name;
    std::uint16_t language;
    bool operator<(const ResourceKey& o) const {
        if (type < o.type || o.type < type) {
            return type < o.type;
        }
        if (name < o.name || o.name < name) {
            return name < o.name;
        }
        return language < o.language;
    }
};

using Resources = std::map<ResourceKey, std::string>;

// A program file and the file offsets of its sections, for following relative addresses.
class PeFile {
  public:
    explicit PeFile(std::string bytes) : bytes_(std::move(bytes)) {
        const std::size_t fileHeader = U32(bytes_, 0x3C) + 4;
        const std::size_t optionalHeader = fileHeader + 20;
        const bool pe32Plus = U16(bytes_, optionalHeader) == 0x20B;
        directories_ = optionalHeader + (pe32Plus ? 112 : 96);
        resourceRva_ = DirectoryRva(2);
        const std::size_t sections = optionalHeader + U16(bytes_, fileHeader + 16);
        for (std::size_t i = 0; i < U16(bytes_, fileHeader + 2); ++i) {
            const std::size_t section = sections + 40 * i;
            sections_.push_back({U32(bytes_, section + 12),
                                 std::max(U32(bytes_, section + 8), U32(bytes_, section + 16)),
                                 U32(bytes_, section + 20)});
        }
    }

    const std::string& Bytes() const { return bytes_; }
    // Where data directory `index` starts (1: imports, 2: resources).
    std::uint32_t DirectoryRva(std::size_t index) const {
        return U32(bytes_, directories_ + 8 * index);
    }
    std::uint32_t ResourceRva() const { return resourceRva_; }

    std::size_t OffsetOf(std::uint32_t rva) const {
        for (const Section& s : sections_) {
            if (rva >= s.rva && rva < s.rva + s.size) {
                return s.fileOffset + (rva - s.rva);
            }
        }
        throw std::out_of_range("address outside every section");
    }

  private:
    struct Section {
        std::uint32_t rva;
        std::uint32_t size;
        std::uint32_t fileOffset;
    };
    std::string bytes_;
    std::size_t directories_ = 0;
    std::uint32_t resourceRva_ = 0;
    std::vector<Section> sections_;
};

// The entries of one level of the resource tree: their ids and where each one leads (a
// subdirectory or a data entry, relative to the start of the resources).
std::vector<std::pair<ResourceId, std::uint32_t>> DirectoryEntries(const PeFile& pe,
                                                                   std::uint32_t offset) {
    const std::string& bytes = pe.Bytes();
    const std::size_t base = pe.OffsetOf(pe.ResourceRva());
    const std::size_t directory = base + offset;
    const std::size_t count = U16(bytes, directory + 12) + std::size_t{U16(bytes, directory + 14)};
    std::vector<std::pair<ResourceId, std::uint32_t>> entries;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = directory + 16 + 8 * i;
        const std::uint32_t name = U32(bytes, entry);
        ResourceId id;
        if (name & 0x80000000u) {
            const std::size_t text = base + (name & 0x7FFFFFFFu);
            for (std::uint16_t k = 0; k < U16(bytes, text); ++k) {
                id.text.push_back(static_cast<char>(U16(bytes, text + 2 + 2 * k)));
            }
        } else {
            id.ordinal = static_cast<std::uint16_t>(name);
        }
        entries.emplace_back(id, U32(bytes, entry + 4) & 0x7FFFFFFFu);
    }
    return entries;
}

// Every resource of the program: the tree of types, names and languages, down to the data.
Resources ReadResources(const fs::path& program) {
    const PeFile pe(ReadWholeFile(program));
    Resources resources;
    for (const auto& [type, names] : DirectoryEntries(pe, 0)) {
        for (const auto& [name, languages] : DirectoryEntries(pe, names)) {
            for (const auto& [language, dataEntry] : DirectoryEntries(pe, languages)) {
                const std::size_t entry = pe.OffsetOf(pe.ResourceRva()) + dataEntry;
                resources[{type, name, language.ordinal}] = pe.Bytes().substr(
                    pe.OffsetOf(U32(pe.Bytes(), entry)), U32(pe.Bytes(), entry + 4));
            }
        }
    }
    return resources;
}

// The string with `id` from the string table blocks (16 strings a block, each counted UTF-16).
std::u16string TableString(const Resources& resources, std::uint16_t id, std::uint16_t language) {
    const auto block = resources.find({Ordinal(RT_STRING), Ordinal(id / 16 + 1), language});
    if (block == resources.end()) {
        return u"(no block)";
    }
    const std::string& data = block->second;
    std::size_t at = 0;
    for (int index = 0; index < id % 16; ++index) {
        at += 2 + 2 * std::size_t{U16(data, at)};
    }
    std::u16string text;
    const std::uint16_t length = U16(data, at);
    for (std::uint16_t i = 0; i < length; ++i) {
        text.push_back(static_cast<char16_t>(U16(data, at + 2 + 2 * i)));
    }
    return text;
}

class ProgramResources : public testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        program_ = fs::path(GetParam()) / "src" / "TessalyInstaller.exe";
        ASSERT_TRUE(fs::is_regular_file(program_)) << program_ << " was not built";
        resources_ = ReadResources(program_);
        ASSERT_FALSE(resources_.empty()) << "no resources read from " << program_;
    }

    const std::string* Find(std::uint16_t type, std::uint16_t name, std::uint16_t language) {
        const auto found = resources_.find({Ordinal(type), Ordinal(name), language});
        return found == resources_.end() ? nullptr : &found->second;
    }

    fs::path program_;
    Resources resources_;
};

TEST_P(ProgramResources, HoldTitleAndClassNameInSimplifiedChinese) {
    EXPECT_EQ(TableString(resources_, 103, CHINESE_SIMPLIFIED), u"" TESSALY_WINDOW_TITLE);
    EXPECT_EQ(TableString(resources_, 109, CHINESE_SIMPLIFIED), u"" TESSALY_WINDOW_CLASS);
}

TEST_P(ProgramResources, HoldBothIconGroupsWithThreeTrueColourSizes) {
    for (const std::uint16_t group : {107, 108}) {
        SCOPED_TRACE(group);
        const std::string* directory = Find(RT_GROUP_ICON, group, CHINESE_SIMPLIFIED);
        ASSERT_NE(directory, nullptr);
        ASSERT_EQ(U16(*directory, 4), 3u) << "images in the group";
        std::vector<int> sizes;
        for (std::size_t i = 0; i < 3; ++i) {
            const std::size_t entry = 6 + 14 * i;  // width, height, colours, reserved, planes,
                                                   // bit count, bytes, icon id
            const int size = static_cast<unsigned char>(directory->at(entry));
            sizes.push_back(size);
            EXPECT_EQ(static_cast<unsigned char>(directory->at(entry + 1)), size);
            EXPECT_EQ(U16(*directory, entry + 6), 24u) << "bits per pixel of " << size;
            const std::string* image =
                Find(RT_ICON, U16(*directory, entry + 12), CHINESE_SIMPLIFIED);
            ASSERT_NE(image, nullptr) << "the " << size << " pixel image is missing";
            EXPECT_EQ(image->size(), U32(*directory, entry + 8));
            EXPECT_EQ(U32(*image, 4), static_cast<std::uint32_t>(size)) << "bitmap width";
            EXPECT_EQ(U32(*image, 8), static_cast<std::uint32_t>(2 * size)) << "colours + mask";
            EXPECT_EQ(U16(*image, 14), 24u) << "bitmap bits per pixel";
        }
        EXPECT_EQ(sizes, (std::vector<int>{32, 48, 16}));
    }
}

TEST_P(ProgramResources, HoldTheSplashPictureAsAn8BitRgbPngOf931By583) {
    const auto found = resources_.find({Named("IMAGEFILE"), Ordinal(131), CHINESE_SIMPLIFIED});
    ASSERT_NE(found, resources_.end());
    const std::string& png = found->second;
    EXPECT_EQ(png, ReadWholeFile(fs::path(TESSALY_SOURCE_DIR) / "res" / "splash.png"));
    ASSERT_EQ(png.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
    std::map<std::string, std::string> chunks;
    for (std::size_t at = 8; at + 8 <= png.size();) {
        const std::uint32_t length = BigEndian32(png, at);
        chunks.emplace(png.substr(at + 4, 4), png.substr(at + 8, length));
        at += 12 + length;
    }
    const std::string& header = chunks["IHDR"];
    ASSERT_EQ(header.size(), 13u);
    EXPECT_EQ(BigEndian32(header, 0), 931u);
    EXPECT_EQ(BigEndian32(header, 4), 583u);
    EXPECT_EQ(header[8], 8) << "bits per channel";
    EXPECT_EQ(header[9], 2) << "colour type: RGB without alpha";
    EXPECT_EQ(header[12], 0) << "interlaced";
    EXPECT_EQ(chunks.count("sRGB"), 1u);
    EXPECT_EQ(chunks.count("gAMA"), 1u);
    ASSERT_EQ(chunks["pHYs"].size(), 9u);
    EXPECT_EQ(BigEndian32(chunks["pHYs"], 0), 3779u);
    EXPECT_EQ(BigEndian32(chunks["pHYs"], 4), 3779u);
    EXPECT_EQ(chunks["pHYs"][8], 1) << "unit: metre";
    EXPECT_EQ(chunks.count("tRNS"), 0u) << "a transparent colour";
}

TEST_P(ProgramResources, HoldTheManifestAskingForAdministratorRights) {
    const std::string* manifest = Find(RT_MANIFEST, 1, ENGLISH_US);
    ASSERT_NE(manifest, nullptr);
    EXPECT_NE(manifest->find("level=\"requireAdministrator\""), std::string::npos) << *manifest;
    EXPECT_NE(manifest->find("uiAccess=\"false\""), std::string::npos) << *manifest;
}

// Every attribute and text of an XML document, one "path=value" line each, the path naming each
// element with its namespace as Windows reads it ("/{urn:…}assembly/…/{urn:…}supportedOS@Id=…").
// Windows ignores a setting under a misspelt namespace, and refuses to start a program whose
// manifest is not well-formed XML; both show here, where Wine would not tell.
std::string XmlLeaves(const std::string& document) {
    const fs::path file = fs::temp_directory_path() / ("manifest-" + std::to_string(getpid()));
    WriteWholeFile(file, document);
    const CommandResult read =
        RunCommand({"python3", "-c",
                    "import sys, xml.etree.ElementTree as ET\n"
                    "def walk(e, path):\n"
                    "    path += '/' + e.tag\n"
                    "    for k, v in e.attrib.items(): print(f'{path}@{k}={v}')\n"
                    "    if (e.text or '').strip(): print(f'{path}={e.text.strip()}')\n"
                    "    for c in e: walk(c, path)\n"
                    "walk(ET.parse(sys.argv[1]).getroot(), '')\n",
                    file.string()});
    fs::remove(file);
    EXPECT_TRUE(read.finished && read.exitCode == 0) << "not well-formed XML:\n" << document;
    return read.output;
}

TEST_P(ProgramResources, HoldTheManifestDeclaringPerMonitorDpiAwarenessAndWindows7To11) {
    const std::string* manifest = Find(RT_MANIFEST, 1, ENGLISH_US);
    ASSERT_NE(manifest, nullptr);
    const std::string leaves = XmlLeaves(*manifest);
    const std::string assembly = "/{urn:schemas-microsoft-com:asm.v1}assembly";
    const std::string settings = assembly + "/{urn:schemas-microsoft-com:asm.v3}application" +
                                 "/{urn:schemas-microsoft-com:asm.v3}windowsSettings";
    const std::string supportedOs = assembly +
                                    "/{urn:schemas-microsoft-com:compatibility.v1}compatibility" +
                                    "/{urn:schemas-microsoft-com:compatibility.v1}application" +
                                    "/{urn:schemas-microsoft-com:compatibility.v1}supportedOS@Id=";
    for (const std::string& line : {
             settings + "/{http://schemas.microsoft.com/SMI/2016/WindowsSettings}dpiAwareness="
                        "PerMonitorV2, PerMonitor",
             settings + "/{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware=true/pm",
             supportedOs + "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // Windows 7
             supportedOs + "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // Windows 8
             supportedOs + "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // Windows 8.1
             supportedOs + "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // Windows 10 and 11
         }) {
        EXPECT_NE(leaves.find(line + "\n"), std::string::npos) << line << " in\n" << leaves;
    }
}

TEST_P(ProgramResources, HoldNoMenuAcceleratorsOrDialog) {
    for (const auto& [key, data] : resources_) {
        EXPECT_NE(key.type.ordinal, RT_MENU);
        EXPECT_NE(key.type.ordinal, RT_ACCELERATOR);
        EXPECT_NE(key.type.ordinal, RT_DIALOG);
    }
}

INSTANTIATE_TEST_SUITE_P(ShippedAndWineBuilds, ProgramResources,
                         testing::Values(std::string(TESSALY_WIN32_BUILD_DIR),
                                         std::string(TESSALY_WINE_BUILD_DIR)),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return info.index == 0 ? std::string("win32") : "wine_build";
                         });

TEST(ShippedProgram, IsAStaticLargeAddressAwarePe32GuiProgram) {
    const fs::path program = fs::path(TESSALY_WIN32_BUILD_DIR) / "src" / "TessalyInstaller.exe";
    const std::string image = ReadWholeFile(program);
    ASSERT_GT(image.size(), 0x200u) << program;
    ASSERT_EQ(image.compare(0, 2, "MZ"), 0);
    const std::size_t pe = U32(image, 0x3C);
    ASSERT_EQ(image.compare(pe, 4, std::string("PE\0\0", 4)), 0);
    const std::size_t fileHeader = pe + 4;
    EXPECT_EQ(U16(image, fileHeader), 0x14Cu) << "machine: i386";
    EXPECT_NE(U16(image, fileHeader + 18) & 0x20, 0) << "large-address-aware flag";
    const std::size_t optionalHeader = fileHeader + 20;
    EXPECT_EQ(U16(image, optionalHeader), 0x10Bu) << "PE32 optional header";
    EXPECT_EQ(U16(image, optionalHeader + 68), 2u) << "subsystem: Windows GUI";
    // Windows 7 (6.1) is the oldest the program runs on: an older Windows refuses it with its own
    // message. The linker's default, 4.0 for both, would let Windows XP try and fail.
    EXPECT_EQ(U16(image, optionalHeader + 40), 6u) << "major operating system version";
    EXPECT_EQ(U16(image, optionalHeader + 42), 1u) << "minor operating system version";
    EXPECT_EQ(U16(image, optionalHeader + 48), 6u) << "major subsystem version";
    EXPECT_EQ(U16(image, optionalHeader + 50), 1u) << "minor subsystem version";

    // Linked statically: only system libraries are imported, no MinGW runtime DLL.
    const CommandResult imports = RunCommand({"i686-w64-mingw32-objdump", "-p", program.string()});
    ASSERT_TRUE(imports.finished && imports.exitCode == 0) << "objdump could not read " << program;
    std::size_t dlls = 0;
    for (std::size_t at = imports.output.find("DLL Name: "); at != std::string::npos;
         at = imports.output.find("DLL Name: ", at + 1)) {
        const std::string name =
            imports.output.substr(at + 10, imports.output.find('\n', at) - at - 10);
        EXPECT_NE(name.rfind("lib", 0), 0u) << "imports " << name;
        ++dlls;
    }
    EXPECT_GT(dlls, 0u);
}

// Each DLL a program imports (lower case), with the functions taken from it by name, sorted.
std::map<std::string, std::vector<std::string>> ImportTable(const fs::path& program) {
    // This objdump reads 32-bit and 64-bit programs alike.
    const CommandResult dump = RunCommand({"x86_64-w64-mingw32-objdump", "-p", program.string()});
    EXPECT_TRUE(dump.finished && dump.exitCode == 0) << "objdump could not read " << program;
    std::map<std::string, std::vector<std::string>> imports;
    std::vector<std::string>* functions = nullptr;
    std::istringstream lines(dump.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string first, second, third;
        words >> first >> second >> third;
        if (first == "DLL" && second == "Name:") {
            std::transform(third.begin(), third.end(), third.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            functions = &imports[third];
        } else if (first.empty()) {
            functions = nullptr;  // a blank line ends a DLL's list
        } else if (functions && !third.empty() && first != "vma:") {
            functions->push_back(third);  // address, hint, name
        }
    }
    for (auto& [dll, names] : imports) {
        std::sort(names.begin(), names.end());
    }
    return imports;
}

// GetDpiForWindow (Windows 10 1607) is looked up when the window asks for its DPI: in the import
// table it would keep the program from starting on Windows 7 and 8.
TEST(ShippedProgram, LooksUpTheWindowsDpiFunctionAtRunTime) {
    const fs::path program = fs::path(TESSALY_WIN32_BUILD_DIR) / "src" / "TessalyInstaller.exe";
    auto imports = ImportTable(program);
    const std::vector<std::string>& user32 = imports["user32.dll"];
    ASSERT_FALSE(user32.empty()) << "the import table was not read";
    EXPECT_EQ(std::count(user32.begin(), user32.end(), "GetDpiForWindow"), 0);
    EXPECT_NE(ReadWholeFile(program).find(std::string("GetDpiForWindow\0", 16)), std::string::npos)
        << "the name to look up is missing";
}

// The keyed build imports what the unkeyed one does, and ReadFile from kernel32, with which it
// hashes the files installed already: CNG comes at first use from the system folder, like WinINet,
// so bcrypt.dll is not in its import table but named among its delay-load strings, with only
// functions that Windows 7 has: BCryptHash (Windows 10) must not be among them. Wine would not
// tell, since it has BCryptHash whatever Windows version its prefix plays.
TEST(KeyedProgram, AddsOnlyWindows7CngFunctionsLoadedAtFirstUse) {
    const fs::path keyedProgram =
        fs::path(TESSALY_WINE_KEYED_BUILD_DIR) / "src/TessalyInstaller.exe";
    const auto unkeyed = ImportTable(fs::path(TESSALY_WINE_BUILD_DIR) / "src/TessalyInstaller.exe");
    ASSERT_FALSE(unkeyed.count("kernel32.dll") == 0 || unkeyed.at("kernel32.dll").empty())
        << "the import table was not read";
    auto withReadFile = unkeyed;
    auto& kernel32 = withReadFile.at("kernel32.dll");
    kernel32.insert(std::lower_bound(kernel32.begin(), kernel32.end(), "ReadFile"), "ReadFile");
    EXPECT_EQ(ImportTable(keyedProgram), withReadFile);
    // Every NUL-terminated name in the file that begins with "BCrypt": the delay-load name table.
    const std::string bytes = ReadWholeFile(keyedProgram);
    std::set<std::string> cng;
    for (std::size_t at = bytes.find("BCrypt"); at != std::string::npos;
         at = bytes.find("BCrypt", at + 1)) {
        const std::size_t end = bytes.find('\0', at);
        if (at > 0 && std::isalnum(static_cast<unsigned char>(bytes[at - 1]))) {
            continue;  // inside a longer name
        }
        cng.insert(bytes.substr(at, end - at));
    }
    EXPECT_EQ(cng,
              (std::set<std::string>{"BCryptCloseAlgorithmProvider", "BCryptCreateHash",
                                     "BCryptDestroyHash", "BCryptDestroyKey", "BCryptFinishHash",
                                     "BCryptHashData", "BCryptImportKeyPair",
                                     "BCryptOpenAlgorithmProvider", "BCryptVerifySignature"}));
    EXPECT_NE(bytes.find("bcrypt.dll"), std::string::npos);
}

// The DLLs the program may name in its import table: KnownDLLs on every Windows it supports, which
// the loader takes from the system folder whatever lies beside the program. These are the values
// that the registry key HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs has on
// Windows 7 SP1 (the list a 32-bit program gets on 64-bit Windows 7), Windows 8.1, 10 and 11
// alike. Some versions list more (Windows 7 wininet, urlmon and iertutil; Windows 10 and 11
// gdiplus), but not all of them: the program loads those from the system folder at first use.
const std::set<std::string> KNOWN_DLLS_ON_EVERY_SUPPORTED_WINDOWS = {
    "advapi32.dll", "clbcatq.dll",  "comdlg32.dll", "difxapi.dll", "gdi32.dll",    "imagehlp.dll",
    "imm32.dll",    "kernel32.dll", "msctf.dll",    "msvcrt.dll",  "normaliz.dll", "nsi.dll",
    "ole32.dll",    "oleaut32.dll", "psapi.dll",    "rpcrt4.dll",  "sechost.dll",  "setupapi.dll",
    "shell32.dll",  "shlwapi.dll",  "user32.dll",   "wldap32.dll", "ws2_32.dll",
};

TEST(ShippedProgram, ImportsOnlyDllsThatAreKnownDllsOnEverySupportedWindows) {
    const PeFile pe(
        ReadWholeFile(fs::path(TESSALY_WIN32_BUILD_DIR) / "src" / "TessalyInstaller.exe"));
    std::size_t imported = 0;
    // Import descriptors of 20 bytes, the name's address at 12, up to one of zeros.
    for (std::size_t at = pe.OffsetOf(pe.DirectoryRva(1)); U32(pe.Bytes(), at + 12) != 0;
         at += 20) {
        std::string name(pe.Bytes().c_str() + pe.OffsetOf(U32(pe.Bytes(), at + 12)));
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        ++imported;
        EXPECT_EQ(KNOWN_DLLS_ON_EVERY_SUPPORTED_WINDOWS.count(name), 1u)
            << name << " is not a KnownDLL on every supported Windows";
    }
    EXPECT_GT(imported, 0u);
}

}  // namespace
}  // namespace tessaly::test
