// The check command: reads one index and prints what the index lint finds in it.
#include "pack/check_command.h"

#include <ctime>

#include "pack/command.h"
#include "pack/index_check.h"
#include "pack/signature_report.h"

namespace tessaly::pack {

const char CHECK_USAGE[] =
    "usage: tessaly-pack check FILE_LIST [--signed] [--key PUBLIC_KEY]\n"
    "\n"
    "Reads a file index (FileList.txt) as the installer will and reports, one line each as\n"
    "FILE:LINE: message:\n"
    "  - lines the installer skips, and why (byte-order mark, no kind digit, too few columns,\n"
    "    empty path, a column longer than its field);\n"
    "  - lines of kind 4 to 9, which it keeps but never acts on;\n"
    "  - unsafe local paths, and paths too long for the installer's path texts under a\n"
    "    64-byte Program Files path;\n"
    "  - downloads into a folder that no earlier Folder entry creates;\n"
    "  - shortcuts and launches of files that no entry installs;\n"
    "  - an index without any Download or Folder entry.\n"
    "Signature lines at the end are skipped by installers built without a key, and not reported.\n"
    "\n"
    "  --signed            also report what an installer built with a key refuses, line by\n"
    "                      line: no signature line, a signature line before other lines, more\n"
    "                      than 8, one that does not read as a signature line, one that has\n"
    "                      expired by this machine's clock (installers holding only its key\n"
    "                      refuse the index), and Download paths that do not end in the\n"
    "                      SHA-256 of their content\n"
    "  --key PUBLIC_KEY    implies --signed; also verify the signature with this public key\n"
    "                      (PEM, as keygen writes KEY.pub) as an installer holding only that key\n"
    "                      does, and its expiry by this machine's clock\n"
    "\n"
    "Exit status: 0 nothing found, 1 problems found or the file unreadable, 2 bad usage.\n";

int RunCheck(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Arguments parsed;
    if (const std::optional<int> exit = ReadCommandLine(
            args, {"check", CHECK_USAGE, {"--key"}, {"--signed"}, 1, "one FILE_LIST"}, parsed, out,
            err)) {
        return *exit;
    }
    CheckOptions options;
    options.keyed = HasFlag(parsed, "--signed");
    options.now = static_cast<std::uint64_t>(std::time(nullptr));
    SigningKey key;
    for (const auto& option : parsed.options) {
        std::string error;
        key = LoadPublicKey(option.second, error);
        if (!key) {
            return UsageError(err, "check", error);
        }
        options.keyed = true;
        options.key = key.get();
    }
    const std::string& file = parsed.positionals[0];
    std::string bytes;
    if (!ReadWholeFile(file, bytes)) {
        err << file << ": cannot be read\n";
        return EXIT_FINDING;
    }
    const std::vector<Finding> findings = CheckFileList(bytes, options);
    for (const Finding& finding : findings) {
        out << FormatFinding(file, finding) << '\n';
    }
    if (key) {
        const SignatureJudgement judgement = JudgeSignature(bytes, key.get(), options.now);
        if (judgement.verdict == SignatureVerdict::Good) {
            out << file << ": " << judgement.text << '\n';
        }
    }
    if (!findings.empty()) {
        out << file << ": " << findings.size() << (findings.size() == 1 ? " problem" : " problems")
            << '\n';
        return EXIT_FINDING;
    }
    out << file << ": no problems\n";
    return EXIT_OK;
}

}  // namespace tessaly::pack
