// Index lines and atomic file replacement.
#include "pack/index_writer.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "pack/sha256.h"

namespace tessaly::pack {

std::string ObjectPath(const std::string& sha256Hex) {
    return std::string(OBJECT_FOLDER) + "/" + sha256Hex;
}

std::string FormatIndex(const std::vector<IndexEntry>& entries) {
    std::string text;
    for (const IndexEntry& entry : entries) {
        text += std::to_string(entry.kind) + "|" + entry.path + "|" + entry.local + "\r\n";
    }
    return text;
}

namespace {

std::filesystem::path TemporaryBeside(const std::filesystem::path& file) {
    std::filesystem::path temporary = file;
    temporary += ".tmp" + std::to_string(getpid());
    return temporary;
}

bool RenameOver(const std::filesystem::path& temporary, const std::filesystem::path& file,
                std::string& error) {
    std::error_code failure;
    std::filesystem::rename(temporary, file, failure);
    if (failure) {
        error = "cannot replace " + file.string() + ": " + failure.message();
        std::filesystem::remove(temporary, failure);
        return false;
    }
    return true;
}

}  // namespace

bool WriteFileAtomically(const std::filesystem::path& file, const std::string& bytes,
                         std::string& error) {
    const std::filesystem::path temporary = TemporaryBeside(file);
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            error = "cannot write " + temporary.string() + ": " + std::strerror(errno);
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    return RenameOver(temporary, file, error);
}

ObjectStore StoreObject(const std::filesystem::path& source,
                        const std::filesystem::path& objectFolder, const std::string& sha256Hex,
                        std::string& error) {
    const std::filesystem::path object = objectFolder / sha256Hex;
    std::string digest;
    if (std::filesystem::exists(object) && Sha256FileHex(object, digest, error) &&
        digest == sha256Hex) {
        return ObjectStore::Kept;
    }
    const std::filesystem::path temporary = TemporaryBeside(object);
    std::error_code failure;
    std::filesystem::copy_file(source, temporary, std::filesystem::copy_options::overwrite_existing,
                               failure);
    if (failure) {
        error = "cannot copy to " + temporary.string() + ": " + failure.message();
    } else if (!Sha256FileHex(temporary, digest, error)) {
        error = temporary.string() + " " + error;
    } else if (digest != sha256Hex) {
        error = "changed while the package was built; build again";
    } else {
        return RenameOver(temporary, object, error) ? ObjectStore::Written : ObjectStore::Failed;
    }
    std::filesystem::remove(temporary, failure);
    return ObjectStore::Failed;
}

}  // namespace tessaly::pack
