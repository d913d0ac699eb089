// Package verification over HTTP, with a progress bar on a terminal and plain lines elsewhere.
#include "pack/verify_command.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "format/content_address.h"
#include "format/entry_paths.h"
#include "format/index_signature.h"
#include "format/index_text.h"
#include "pack/cache_report.h"
#include "pack/command.h"
#include "pack/cp936.h"
#include "pack/http_fetch.h"
#include "pack/index_writer.h"
#include "pack/sha256.h"
#include "pack/signature_report.h"
#include "package/fetch_response.h"
#include "package/package_url.h"

namespace tessaly::pack {

namespace fs = std::filesystem;

const char VERIFY_USAGE[] =
    "usage: tessaly-pack verify BASE_URL [--against OUT_DIR] [--key PUBLIC_KEY]...\n"
    "\n"
    "Fetches BASE_URL/FileList.txt as the installer does (agent \"ravavo\", no cache, 2 s to\n"
    "connect, 4 s per read), then every file its Download entries name, and reports each that\n"
    "the installer would not take (no 2xx answer, an empty body, fewer or more bytes than the\n"
    "Content-Length announced) or whose content does not match its name objects/<sha256>.\n"
    "Run it after every upload.\n"
    "BASE_URL is the package base, http://HOST[:PORT]/PATH/; with no path it is /AppData/.\n"
    "\n"
    "  --against OUT_DIR  also compare the index and every file with the tree that\n"
    "                     tessaly-pack build wrote to OUT_DIR\n"
    "  --key PUBLIC_KEY   judge as an installer built with this public key (PEM, as keygen\n"
    "                     writes KEY.pub) does: the index must carry a signature line by that\n"
    "                     key that has not expired by this machine's clock, and every Download\n"
    "                     path must end in the SHA-256 of the content it answers; says how\n"
    "                     many days the signature has left. Give it once per key in use (the\n"
    "                     old and the new one while the key is changed): each is judged as\n"
    "                     an installer holding only that key\n"
    "\n"
    "Then warns of what a CDN in front of the server would make of its headers: an index that\n"
    "may be cached for more than 5 minutes (a Cache-Control max-age or s-maxage above 300,\n"
    "an Expires further ahead, or neither header, which leaves it to the CDN's default), an\n"
    "object (the first the index names) that cannot be cached for a day, and a redirect from\n"
    "http:// to https://, which WinINet may refuse to follow.\n"
    "\n"
    "Shows a progress bar on a terminal and one line per file otherwise.\n"
    "Exit status: 0 every file answered, 1 problems found, 2 bad usage.\n";

namespace {

class BarProgress : public VerifyProgress {
  public:
    BarProgress(std::ostream& out, std::size_t width) : out_(out), width_(width) {}
    void Begin(std::size_t total) override {
        total_ = total;
        Draw(0, "");
    }
    void Report(const std::string& line) override { out_ << "\r\033[K" << line << '\n'; }
    void Checked(std::size_t done, const std::string& what, bool) override { Draw(done, what); }
    void End() override { out_ << "\r\033[K" << std::flush; }

  private:
    void Draw(std::size_t done, const std::string& what) {
        out_ << '\r' << RenderProgressBar(done, total_, width_, what) << "\033[K" << std::flush;
    }
    std::ostream& out_;
    std::size_t width_;
    std::size_t total_ = 0;
};

class PlainProgress : public VerifyProgress {
  public:
    explicit PlainProgress(std::ostream& out) : out_(out) {}
    void Begin(std::size_t total) override { total_ = total; }
    void Report(const std::string& line) override { out_ << line << '\n'; }
    void Checked(std::size_t done, const std::string& what, bool ok) override {
        if (ok) {
            out_ << done << "/" << total_ << " ok " << what << '\n';
        }
    }
    void End() override {}

  private:
    std::ostream& out_;
    std::size_t total_ = 0;
};

// Compares served bytes with the local copy; empty when they match.
std::string CompareWithLocal(const std::string& served, const fs::path& local) {
    std::string bytes;
    if (!ReadWholeFile(local, bytes)) {
        return "no local copy at " + local.string();
    }
    if (bytes != served) {
        return "differs from " + local.string() + " (" + std::to_string(served.size()) +
               " bytes served, " + std::to_string(bytes.size()) + " local)";
    }
    return {};
}

// What the installer would make of one answer, judged by its own rules; empty when it installs the
// file.
std::string JudgeAnswer(const HttpAnswer& answer) {
    if (!answer.answered) {
        return "no answer: " + answer.error;
    }
    if (!StatusAccepted(answer.head)) {
        return "answered HTTP " + std::to_string(answer.head.status);
    }
    if (BodyComplete(answer.head, answer.body.size())) {
        return {};
    }
    if (answer.body.empty()) {
        return "answered with an empty body, which the installer takes for a failed download";
    }
    return "answered " + std::to_string(answer.body.size()) + " bytes where Content-Length " +
           "announced " + std::to_string(answer.head.contentLength);
}

std::string StripLeadingSeparators(const std::string& path) {
    const std::size_t start = path.find_first_not_of("/\\");
    return start == std::string::npos ? std::string() : path.substr(start);
}

class PackageVerifier {
  public:
    PackageVerifier(const VerifyOptions& options, VerifyProgress& progress)
        : options_(options), progress_(progress) {}

    VerifyResult Run() {
        HttpUrl url;
        std::string error;
        if (!ParseHttpUrl(options_.baseUrl, url, error)) {
            Report(options_.baseUrl + ": " + error);
            return std::move(result_);
        }
        base_ = PackageBase(url);
        const std::string indexUrl = base_ + INDEX_NAME;
        const HttpAnswer index = FetchLikeInstaller(indexUrl);
        const std::string problem = JudgeAnswer(index);
        if (!problem.empty()) {
            Report(indexUrl + ": " + problem + MissingFolderHint(index));
            return std::move(result_);
        }
        result_.indexFetched = true;
        if (!options_.against.empty()) {
            const std::string difference = CompareWithLocal(index.body, LocalFile(INDEX_NAME));
            if (!difference.empty()) {
                Report(indexUrl + ": " + difference);
            }
        }
        for (EVP_PKEY* key : options_.keys) {
            const SignatureJudgement judgement = JudgeSignature(index.body, key, options_.now);
            if (judgement.verdict == SignatureVerdict::Good) {
                result_.signatures.push_back(judgement.text);
            } else {
                Report(indexUrl + ": " + judgement.text);
            }
        }
        CheckDownloads(ReadIndexLines(index.body));
        return std::move(result_);
    }

  private:
    fs::path LocalFile(const std::string& serverPath) const {
        return fs::path(options_.against) / PACKAGE_FOLDER / StripLeadingSeparators(serverPath);
    }

    // A 404 at a base that does not end in the package folder: most often the folder was left out
    // of the URL, as with a bucket served by path (http://host/bucket/).
    std::string MissingFolderHint(const HttpAnswer& answer) const {
        const std::string folder = TESSALY_PACKAGE_BASE_PATH;  // "/AppData/"
        const bool inFolder =
            base_.size() >= folder.size() &&
            base_.compare(base_.size() - folder.size(), folder.size(), folder) == 0;
        if (!answer.answered || answer.head.status != 404 || inFolder) {
            return {};
        }
        return "; the package lies in a folder " + folder.substr(1) + ": try " + base_ +
               folder.substr(1);
    }

    void Report(const std::string& line) {
        result_.findings.push_back(line);
        progress_.Report(line);
    }

    void CheckDownloads(const IndexText& index) {
        std::vector<const IndexLine*> downloads;
        std::set<std::string> seen;
        for (const IndexLine& line : index.lines) {
            if (line.verdict == LineVerdict::Entry && line.entry.kind == Download &&
                seen.insert(line.entry.path).second) {
                downloads.push_back(&line);
            }
        }
        result_.downloads = downloads.size();
        progress_.Begin(downloads.size());
        for (std::size_t i = 0; i < downloads.size(); ++i) {
            const std::string path = downloads[i]->entry.path;
            const std::string problem = CheckDownload(path);
            if (!problem.empty()) {
                Report(std::string(INDEX_NAME) + ":" + std::to_string(downloads[i]->number) + ": " +
                       Cp936ForDisplay(path) + ": " + problem);
            }
            progress_.Checked(i + 1, Cp936ForDisplay(path), problem.empty());
        }
        progress_.End();
    }

    std::string CheckDownload(const std::string& path) {
        Sha256Digest digest;
        const bool contentAddressed = ContentAddressDigest(path.c_str(), digest);
        if (!options_.keys.empty() && !contentAddressed) {
            return "the path does not end in the SHA-256 of its content: an installer built with "
                   "a key refuses it";
        }
        char url[URL_CAPACITY];
        if (!ComposePackageUrl(base_.c_str(), path.c_str(), url)) {
            return "the URL would not fit the installer's " + std::to_string(URL_CAPACITY - 1) +
                   "-byte URL text";
        }
        const HttpAnswer answer = FetchLikeInstaller(url);
        std::string problem = JudgeAnswer(answer);
        if (!problem.empty()) {
            return problem;
        }
        if (contentAddressed) {
            char expected[SHA256_HEX_LENGTH + 1];
            WriteHex(digest, SHA256_SIZE, expected);
            const std::string actual = Sha256Hex(answer.body.data(), answer.body.size());
            if (actual != expected) {
                return "the content does not match its name (its SHA-256 is " + actual + ")";
            }
        }
        if (options_.against.empty()) {
            return {};
        }
        const std::string relative = StripLeadingSeparators(path);
        if (!IsContainedRelativePath(relative.c_str())) {
            return "the server path leaves the package tree; not compared";
        }
        return CompareWithLocal(answer.body, LocalFile(relative));
    }

    const VerifyOptions& options_;
    VerifyProgress& progress_;
    VerifyResult result_;
    std::string base_;
};

std::size_t TerminalWidth() {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20) {
        return size.ws_col;
    }
    return 80;
}

}  // namespace

std::unique_ptr<VerifyProgress> MakeBarProgress(std::ostream& out, std::size_t width) {
    return std::make_unique<BarProgress>(out, width);
}

std::unique_ptr<VerifyProgress> MakePlainProgress(std::ostream& out) {
    return std::make_unique<PlainProgress>(out);
}

std::string RenderProgressBar(std::size_t done, std::size_t total, std::size_t width,
                              const std::string& label) {
    constexpr std::size_t BAR_CELLS = 30;
    const std::size_t filled = total == 0 ? BAR_CELLS : done * BAR_CELLS / total;
    std::string line = "[" + std::string(filled, '#') + std::string(BAR_CELLS - filled, '.') +
                       "] " + std::to_string(done) + "/" + std::to_string(total) + " " + label;
    // Cut at a character boundary: the label may be UTF-8, whose characters are at least as many
    // bytes as the columns they take.
    std::size_t cut = 0;
    while (cut < line.size()) {
        std::size_t next = cut + 1;
        while (next < line.size() && (static_cast<unsigned char>(line[next]) & 0xC0) == 0x80) {
            ++next;
        }
        if (next > width) {
            break;
        }
        cut = next;
    }
    line.resize(cut);
    return line;
}

VerifyResult VerifyPackage(const VerifyOptions& options, VerifyProgress& progress) {
    return PackageVerifier(options, progress).Run();
}

int RunVerify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Arguments parsed;
    if (const std::optional<int> exit = ReadCommandLine(
            args, {"verify", VERIFY_USAGE, {"--against", "--key"}, {}, 1, "one BASE_URL"}, parsed,
            out, err)) {
        return *exit;
    }
    VerifyOptions options{parsed.positionals[0], ""};
    HttpUrl url;
    std::string error;
    if (!ParseHttpUrl(options.baseUrl, url, error)) {
        return UsageError(err, "verify", error);
    }
    std::vector<SigningKey> keys;
    for (const auto& [name, value] : parsed.options) {
        if (name == "--against") {
            options.against = value;
            continue;
        }
        keys.push_back(LoadPublicKey(value, error));
        if (!keys.back()) {
            return UsageError(err, "verify", error);
        }
        options.keys.push_back(keys.back().get());
    }
    if (!options.against.empty() && !fs::is_directory(options.against)) {
        return UsageError(err, "verify", options.against + " is not a folder");
    }
    options.now = static_cast<std::uint64_t>(std::time(nullptr));
    const std::unique_ptr<VerifyProgress> progress =
        isatty(STDOUT_FILENO) ? MakeBarProgress(out, TerminalWidth()) : MakePlainProgress(out);
    const VerifyResult result = VerifyPackage(options, *progress);
    const std::string base = PackageBase(url);
    for (const std::string& warning : CachingWarnings(base)) {
        out << "warning: " << warning << '\n';
    }
    if (!result.indexFetched) {
        out << "tessaly-pack verify: the index at " << base << INDEX_NAME
            << " cannot be installed from\n";
        return EXIT_FINDING;
    }
    const std::size_t problems = result.findings.size();
    out << base << ": " << result.downloads << (result.downloads == 1 ? " file" : " files")
        << " checked, "
        << (problems == 0 ? std::string("all answered")
                          : std::to_string(problems) + (problems == 1 ? " problem" : " problems"))
        << '\n';
    for (const std::string& signature : result.signatures) {
        out << base << INDEX_NAME << ": " << signature << '\n';
    }
    return result.findings.empty() ? EXIT_OK : EXIT_FINDING;
}

}  // namespace tessaly::pack
