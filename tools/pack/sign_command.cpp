// Key pairs, and signing the index of a package that is already built.
#include "pack/sign_command.h"

#include <ctime>

#include "pack/index_writer.h"
#include "pack/package_signing.h"
#include "pack/signature_report.h"

namespace tessaly::pack {

namespace fs = std::filesystem;

const char KEYGEN_USAGE[] =
    "usage: tessaly-pack keygen KEY\n"
    "\n"
    "Makes an ECDSA P-256 key pair for signing package indexes: the private key goes to KEY\n"
    "(PEM, readable only by you), the public key to KEY.pub (PEM). Never writes over an\n"
    "existing file. Prints both paths and the key id that signature lines name.\n"
    "Keep KEY offline: whoever holds it can make installers built with KEY.pub install and\n"
    "run anything, with administrator rights. KEY.pub is what the installer is built with\n"
    "and what tessaly-pack verify --key and check --key take.\n"
    "Exit status: 0 written, 1 refused or failed, 2 bad usage.\n";

const char SIGN_USAGE[] =
    "usage: tessaly-pack sign PACKAGE --key KEY [--key KEY]... [--expires WHEN]\n"
    "\n"
    "Signs PACKAGE/AppData/FileList.txt again (PACKAGE is the OUT_DIR of tessaly-pack build),\n"
    "without building the package again: the signature lines at its end are replaced by new\n"
    "ones, one per key, through a temporary file beside it, so a reader sees the old or the new\n"
    "index. While the signing key is being changed, give the old and the new key: installers\n"
    "that hold either accept the index.\n"
    "Re-sign before the signature expires, then publish the package again (tessaly-pack\n"
    "publish): only FileList.txt goes up; the objects do not change.\n"
    "Nothing is written when an installer built with the key would still refuse the index (a\n"
    "stray signature line, a Download path that does not end in its content's SHA-256).\n"
    "\n"
    "  --key KEY       a private key (PEM, as keygen writes it); up to 8, each a different key\n"
    "  --expires WHEN  the end of validity: a number of days from now (1 to 3650; 90 when not\n"
    "                  given), or a UTC date YYYY-MM-DD, meaning the start of that day (00:00\n"
    "                  UTC), for every line. A date that has begun already is accepted with a\n"
    "                  warning: installers built with the keys refuse the index at once.\n"
    "\n"
    "Exit status: 0 signed, 1 refused or failed, 2 bad usage.\n";

namespace {

std::uint64_t Now() {
    return static_cast<std::uint64_t>(std::time(nullptr));
}

}  // namespace

int RunKeygen(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Arguments parsed;
    if (const std::optional<int> exit = ReadCommandLine(
            args, {"keygen", KEYGEN_USAGE, {}, {}, 1, "one KEY"}, parsed, out, err)) {
        return *exit;
    }
    const fs::path privateFile = parsed.positionals[0];
    const fs::path publicFile = privateFile.string() + ".pub";
    std::string error;
    if (!GenerateKeyPair(privateFile, error)) {
        err << "tessaly-pack keygen: " << error << '\n';
        return EXIT_FINDING;
    }
    const SigningKey key = LoadPublicKey(publicFile, error);
    if (!key) {
        err << "tessaly-pack keygen: " << error << '\n';
        return EXIT_FINDING;
    }
    out << "private key: " << privateFile.string() << " (mode 0600)\n"
        << "public key:  " << publicFile.string() << '\n'
        << "key id:      " << KeyId(key.get()) << '\n'
        << "Keep " << privateFile.string() << " offline: whoever holds it can make installers "
        << "built with " << publicFile.filename().string()
        << " install and run anything, with administrator rights.\n";
    return EXIT_OK;
}

int RunSign(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Arguments parsed;
    if (const std::optional<int> exit = ReadCommandLine(
            args, {"sign", SIGN_USAGE, {"--key", "--expires"}, {}, 1, "one PACKAGE"}, parsed, out,
            err)) {
        return *exit;
    }
    std::string when;
    for (const auto& [name, value] : parsed.options) {
        if (name == "--expires") {
            when = value;
        }
    }
    std::vector<SigningKey> keys;
    if (!LoadSigningKeys(parsed, "--key", "sign", keys, err)) {
        return EXIT_USAGE;
    }
    if (keys.empty()) {
        return UsageError(err, "sign", "expected --key KEY");
    }
    const std::uint64_t now = Now();
    std::uint64_t expires = 0;
    if (!ReadExpiryOption(when, now, expires, "sign", err)) {
        return EXIT_USAGE;
    }
    const SignResult result = SignPackage(parsed.positionals[0], KeyPointers(keys), expires);
    for (const Finding& refusal : result.refusals) {
        err << FormatFinding(result.indexFile.string(), refusal) << '\n';
    }
    if (!result.error.empty()) {
        err << "tessaly-pack sign: " << result.error << '\n';
    }
    if (!result.refusals.empty() || !result.error.empty()) {
        err << "tessaly-pack sign: " << result.indexFile.string() << " was not replaced\n";
        return EXIT_FINDING;
    }
    out << result.indexFile.string() << ": " << SignedByText(KeyPointers(keys)) << ", "
        << DescribeValidity(expires, now) << '\n'
        << "Publish it again (tessaly-pack publish " << parsed.positionals[0] << " DEST): only "
        << INDEX_NAME << " goes up, the objects are unchanged.\n";
    return EXIT_OK;
}

}  // namespace tessaly::pack
