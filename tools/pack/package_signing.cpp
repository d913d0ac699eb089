// Signing the index of a built package, for build --sign and sign.
#include "pack/package_signing.h"

#include <algorithm>

#include "pack/index_check.h"
#include "pack/index_writer.h"
#include "pack/signature_report.h"

namespace tessaly::pack {

namespace fs = std::filesystem;

namespace {

constexpr char DEFAULT_VALIDITY_DAYS[] = "90";

}  // namespace

bool ReadExpiryOption(const std::string& when, std::uint64_t now, std::uint64_t& expires,
                      const std::string& command, std::ostream& err) {
    switch (ReadExpiry(when.empty() ? DEFAULT_VALIDITY_DAYS : when, now, expires)) {
        case ExpiryRead::Future:
            return true;
        case ExpiryRead::Past:
            err << "tessaly-pack " << command << ": warning: the signature expires "
                << FormatUtc(expires) << ", which has passed: installers built with the key "
                << "refuse this index at once\n";
            return true;
        case ExpiryRead::Invalid:
            break;
    }
    UsageError(err, command,
               "--expires takes a number of days from 1 to 3650 or a date YYYY-MM-DD, got \"" +
                   when + "\"");
    return false;
}

bool LoadSigningKeys(const Arguments& parsed, const std::string& option, const std::string& command,
                     std::vector<SigningKey>& keys, std::ostream& err) {
    std::vector<std::string> ids;
    for (const auto& [name, value] : parsed.options) {
        if (name != option) {
            continue;
        }
        std::string error;
        SigningKey key = LoadPrivateKey(value, error);
        if (!key) {
            UsageError(err, command, error);
            return false;
        }
        const std::string id = KeyId(key.get());
        if (std::find(ids.begin(), ids.end(), id) != ids.end()) {
            UsageError(err, command, value + " is key " + id + ", given already");
            return false;
        }
        ids.push_back(id);
        keys.push_back(std::move(key));
    }
    if (keys.size() > MOST_SIGNATURE_LINES) {
        UsageError(err, command,
                   std::to_string(keys.size()) + " keys: an index carries at most " +
                       std::to_string(MOST_SIGNATURE_LINES) + " signature lines");
        return false;
    }
    return true;
}

std::vector<EVP_PKEY*> KeyPointers(const std::vector<SigningKey>& keys) {
    std::vector<EVP_PKEY*> pointers;
    for (const SigningKey& key : keys) {
        pointers.push_back(key.get());
    }
    return pointers;
}

std::string SignedByText(const std::vector<EVP_PKEY*>& keys) {
    std::string text = keys.size() == 1 ? "signed by key " : "signed by keys ";
    for (std::size_t i = 0; i < keys.size(); ++i) {
        text += (i == 0 ? "" : ", ") + KeyId(keys[i]);
    }
    return text;
}

SignResult SignPackage(const fs::path& package, const std::vector<EVP_PKEY*>& keys,
                       std::uint64_t expires) {
    SignResult result;
    result.indexFile = package / PACKAGE_FOLDER / INDEX_NAME;
    std::string index;
    if (!ReadWholeFile(result.indexFile, index)) {
        result.error = result.indexFile.string() + ": cannot be read";
        return result;
    }
    const std::string signedIndex = SignIndex(index, keys, expires, result.error);
    if (signedIndex.empty()) {
        return result;
    }
    result.refusals = KeyedRefusals(signedIndex);
    if (result.refusals.empty() &&
        !WriteFileAtomically(result.indexFile, signedIndex, result.error)) {
        result.error = result.indexFile.string() + ": " + result.error;
    }
    return result;
}

}  // namespace tessaly::pack
