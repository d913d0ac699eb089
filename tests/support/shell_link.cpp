// Shell link reader. Layout of a .lnk file, all integers little-endian:
//   ShellLinkHeader   76 bytes: size 0x4C, CLSID 00021401-0000-0000-C000-000000000046,
//                     LinkFlags, FileAttributes, three FILETIMEs, FileSize, IconIndex,
//                     ShowCommand, HotKey and reserved fields
//   LinkTargetIDList  when HasLinkTargetIDList: a 2-byte size, then that many bytes
//   LinkInfo          when HasLinkInfo: its own size, header size, flags and offsets of the
//                     VolumeID, LocalBasePath (ANSI), network link, CommonPathSuffix (ANSI),
//                     and, with a header of 0x24 bytes or more, the Unicode twins of the last two
//   StringData        NAME_STRING, RELATIVE_PATH, WORKING_DIR, COMMAND_LINE_ARGUMENTS,
//                     ICON_LOCATION, each present when its flag is set: a 2-byte character
//                     count, then the characters (UTF-16 when IsUnicode, else ANSI), no NUL
//   ExtraData         blocks that each start with their 4-byte size, up to a terminal block
//                     whose size is below 4 (skipped, but required: a cut-off file is refused)
#include "support/shell_link.h"

#include <cstring>

#include "support/files.h"
#include "support/text_encoding.h"

namespace tessaly::test {
namespace {

constexpr std::uint32_t HAS_LINK_TARGET_ID_LIST = 0x01;
constexpr std::uint32_t HAS_LINK_INFO = 0x02;
constexpr std::uint32_t HAS_NAME = 0x04;
constexpr std::uint32_t HAS_RELATIVE_PATH = 0x08;
constexpr std::uint32_t HAS_WORKING_DIR = 0x10;
constexpr std::uint32_t HAS_ARGUMENTS = 0x20;
constexpr std::uint32_t HAS_ICON_LOCATION = 0x40;
constexpr std::uint32_t IS_UNICODE = 0x80;

constexpr std::uint32_t VOLUME_ID_AND_LOCAL_BASE_PATH = 0x01;

constexpr unsigned char LINK_CLSID[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                          0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

struct Malformed {};

// Bounds-checked little-endian reads over the file's bytes.
class Reader {
  public:
    explicit Reader(const std::string& bytes) : bytes_(bytes) {}

    void Need(std::size_t at, std::size_t length) const {
        if (at > bytes_.size() || length > bytes_.size() - at) {
            throw Malformed{};
        }
    }
    std::uint32_t U16(std::size_t at) const {
        Need(at, 2);
        return Byte(at) | Byte(at + 1) << 8;
    }
    std::uint32_t U32(std::size_t at) const {
        Need(at, 4);
        return Byte(at) | Byte(at + 1) << 8 | Byte(at + 2) << 16 | Byte(at + 3) << 24;
    }
    std::string Slice(std::size_t at, std::size_t length) const {
        Need(at, length);
        return bytes_.substr(at, length);
    }
    // A NUL-terminated byte string that starts at `at` and ends before `end`.
    std::string AnsiZ(std::size_t at, std::size_t end) const {
        Need(at, 0);
        const std::size_t nul = bytes_.find('\0', at);
        if (nul == std::string::npos || nul >= end) {
            throw Malformed{};
        }
        return bytes_.substr(at, nul - at);
    }
    // A NUL-terminated UTF-16 string (as little-endian bytes) that ends before `end`.
    std::string Utf16Z(std::size_t at, std::size_t end) const {
        std::size_t stop = at;
        while (U16(stop) != 0) {
            stop += 2;
            if (stop >= end) {
                throw Malformed{};
            }
        }
        return bytes_.substr(at, stop - at);
    }

  private:
    std::uint32_t Byte(std::size_t at) const { return static_cast<unsigned char>(bytes_[at]); }
    const std::string& bytes_;
};

std::string ToUtf8(const std::string& text, const std::string& encoding) {
    std::optional<std::string> utf8 = ConvertText(text, encoding.c_str(), "UTF-8");
    if (!utf8) {
        throw Malformed{};
    }
    return *utf8;
}

// Fills the LinkInfo fields of `link` and moves `at` past the structure.
void ReadLinkInfo(const Reader& reader, std::size_t& at, const std::string& ansiCodePage,
                  ShellLink& link) {
    const std::size_t start = at;
    const std::uint32_t size = reader.U32(start);
    const std::uint32_t headerSize = reader.U32(start + 4);
    const std::uint32_t flags = reader.U32(start + 8);
    if (size < 0x1C || headerSize < 0x1C || headerSize > size) {
        throw Malformed{};
    }
    reader.Need(start, size);
    const std::size_t end = start + size;
    const bool unicodeOffsets = headerSize >= 0x24;
    if (flags & VOLUME_ID_AND_LOCAL_BASE_PATH) {
        const std::uint32_t unicodeOffset = unicodeOffsets ? reader.U32(start + 0x1C) : 0;
        link.localBasePath =
            unicodeOffset != 0
                ? ToUtf8(reader.Utf16Z(start + unicodeOffset, end), "UTF-16LE")
                : ToUtf8(reader.AnsiZ(start + reader.U32(start + 0x10), end), ansiCodePage);
    }
    const std::uint32_t suffixUnicodeOffset = unicodeOffsets ? reader.U32(start + 0x20) : 0;
    const std::uint32_t suffixOffset = reader.U32(start + 0x18);
    if (suffixUnicodeOffset != 0) {
        link.commonPathSuffix = ToUtf8(reader.Utf16Z(start + suffixUnicodeOffset, end), "UTF-16LE");
    } else if (suffixOffset != 0) {
        link.commonPathSuffix = ToUtf8(reader.AnsiZ(start + suffixOffset, end), ansiCodePage);
    }
    at = end;
}

std::string ReadStringData(const Reader& reader, std::size_t& at, bool unicode,
                           const std::string& ansiCodePage) {
    const std::size_t count = reader.U16(at);
    const std::size_t length = unicode ? count * 2 : count;
    const std::string raw = reader.Slice(at + 2, length);
    at += 2 + length;
    std::string text = ToUtf8(raw, unicode ? "UTF-16LE" : ansiCodePage);
    // Wine counts a terminating NUL into the length; Windows does not.
    while (!text.empty() && text.back() == '\0') {
        text.pop_back();
    }
    return text;
}

}  // namespace

std::optional<ShellLink> ParseShellLink(const std::string& bytes, const std::string& ansiCodePage) {
    try {
        const Reader reader(bytes);
        if (reader.U32(0) != 0x4C ||
            std::memcmp(reader.Slice(4, 16).data(), LINK_CLSID, sizeof LINK_CLSID) != 0) {
            return std::nullopt;
        }
        ShellLink link;
        link.linkFlags = reader.U32(0x14);
        link.fileAttributes = reader.U32(0x18);
        link.showCommand = static_cast<int>(reader.U32(0x3C));
        std::size_t at = 0x4C;
        if (link.linkFlags & HAS_LINK_TARGET_ID_LIST) {
            link.hasIdList = true;
            at += 2 + reader.U16(at);
        }
        if (link.linkFlags & HAS_LINK_INFO) {
            ReadLinkInfo(reader, at, ansiCodePage, link);
        }
        const bool unicode = (link.linkFlags & IS_UNICODE) != 0;
        const std::pair<std::uint32_t, std::string*> strings[] = {
            {HAS_NAME, &link.name},
            {HAS_RELATIVE_PATH, &link.relativePath},
            {HAS_WORKING_DIR, &link.workingDir},
            {HAS_ARGUMENTS, &link.arguments},
            {HAS_ICON_LOCATION, &link.iconLocation},
        };
        for (const auto& [flag, field] : strings) {
            if (link.linkFlags & flag) {
                *field = ReadStringData(reader, at, unicode, ansiCodePage);
            }
        }
        for (std::uint32_t size; (size = reader.U32(at)) >= 4;) {
            reader.Need(at, size);
            at += size;
        }
        return link;
    } catch (const Malformed&) {
        return std::nullopt;
    }
}

std::optional<ShellLink> ReadShellLink(const std::string& path, const std::string& ansiCodePage) {
    return ParseShellLink(ReadWholeFile(path), ansiCodePage);
}

std::optional<ShellLink> ParseWineShellLink(const std::string& bytes,
                                            const std::string& ansiCodePage) {
    constexpr std::size_t LINK_FLAGS_OFFSET = 0x14;
    constexpr unsigned char HAS_RELATIVE_PATH = 0x08;
    std::optional<ShellLink> link = ParseShellLink(bytes, ansiCodePage);
    if (link || bytes.size() <= LINK_FLAGS_OFFSET ||
        (static_cast<unsigned char>(bytes[LINK_FLAGS_OFFSET]) & HAS_RELATIVE_PATH) != 0) {
        return link;
    }
    std::string flagged = bytes;
    flagged[LINK_FLAGS_OFFSET] = static_cast<char>(flagged[LINK_FLAGS_OFFSET] | HAS_RELATIVE_PATH);
    link = ParseShellLink(flagged, ansiCodePage);
    if (link) {
        link->relativePathFlagAdded = true;
    }
    return link;
}

std::optional<ShellLink> ReadWineShellLink(const std::string& path,
                                           const std::string& ansiCodePage) {
    return ParseWineShellLink(ReadWholeFile(path), ansiCodePage);
}

}  // namespace tessaly::test
