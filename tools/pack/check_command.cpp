// The index linter: judges each line with the installer's parser, each entry with the installer's
// limits, and the entries together in the order the install passes walk them.
#include "pack/check_command.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>

#include "format/content_address.h"
#include "format/cp936_bytes.h"
#include "pack/cp936.h"
#include "pack/entry_limits.h"
#include "format/index_text.h"
#include "pack/index_signing.h"
#include "pack/local_names.h"
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

namespace {

std::string Quoted(const std::string& cp936) {
    return "\"" + Cp936ForDisplay(cp936) + "\"";
}

// Valid UTF-8 whose every non-ASCII character takes three or four bytes, as Chinese text does;
// code page 936 text almost never looks like that.
bool LooksLikeUtf8(const std::string& text) {
    bool wide = false;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = 1;
        if (byte >= 0xE0 && byte <= 0xEF) {
            length = 3;
        } else if (byte >= 0xF0 && byte <= 0xF4) {
            length = 4;
        } else if (byte >= 0x80) {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        wide = wide || length > 1;
        i += length;
    }
    return wide;
}

std::string SkipReason(const IndexLine& line) {
    switch (line.verdict) {
        case LineVerdict::TooFewColumns:
            return "no \"|\" between the kind and a path";
        case LineVerdict::NoLeadingDigit:
            return line.text[0] == ' ' ? "it begins with a space instead of the kind digit"
                                       : "it does not begin with a kind digit 0 to 9";
        case LineVerdict::EmptyPath:
            return "the path column is empty";
        case LineVerdict::PathTooLong:
            return "the path column is " + std::to_string(line.columns[1].size()) +
                   " bytes; its field holds " + std::to_string(PATH_COLUMN_LIMIT);
        case LineVerdict::LocalTooLong:
            return "the local column is " + std::to_string(line.columns[2].size()) +
                   " bytes; its field holds " + std::to_string(LOCAL_COLUMN_LIMIT);
        case LineVerdict::Entry:
        case LineVerdict::Empty:
            break;
    }
    return {};
}

std::string ParentForDisplay(const std::string& cp936Path) {
    std::vector<std::string> components = SplitLocalPath(cp936Path);
    components.pop_back();
    std::string joined;
    for (const std::string& component : components) {
        joined += (joined.empty() ? "" : "\\") + component;
    }
    return Quoted(joined);
}

// In line order, findings about the whole index (line 0) last.
void SortByLine(std::vector<Finding>& findings) {
    std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) {
        return a.line != 0 && (b.line == 0 || a.line < b.line);
    });
}

// Walks the entries in index order, as the install passes do.
class IndexChecker {
  public:
    explicit IndexChecker(const IndexText& index) {
        for (const IndexLine& line : index.lines) {
            if (line.verdict == LineVerdict::Entry && line.entry.kind == Folder) {
                allFolders_.emplace(LocalPathKey(line.entry.path), line.number);
            }
        }
    }

    void Line(const IndexLine& line) {
        if (line.verdict != LineVerdict::Entry) {
            if (line.verdict != LineVerdict::Empty) {
                Add(line.number, "skipped by the installer: " + SkipReason(line));
            }
            return;
        }
        ++entryCount_;
        const InstallEntry& entry = line.entry;
        if (line.columns[0].size() > 1) {
            Add(line.number, "the first column is " + Quoted(line.columns[0]) +
                                 ": the installer reads only its first digit, kind " +
                                 std::to_string(entry.kind));
        }
        if (line.columns.size() > 3) {
            Add(line.number, "the line has " + std::to_string(line.columns.size()) +
                                 " columns: the installer ignores all after the third");
        }
        installs_ = installs_ || entry.kind == Download || entry.kind == Folder;
        CheckEncoding(line.number, "path", entry.path);
        CheckEncoding(line.number, "local", entry.local);
        if (entry.kind > Launch) {
            Add(line.number, "kind " + std::to_string(entry.kind) +
                                 ": the installer keeps this line but no install step acts on it");
            return;
        }
        const std::vector<std::string> problems =
            EntryProblems(IndexEntry{entry.kind, entry.path, entry.local});
        for (const std::string& problem : problems) {
            Add(line.number, problem);
        }
        if (problems.empty()) {
            Place(line);
        }
    }

    std::vector<Finding> Finish() {
        for (const IndexLine* link : links_) {
            const std::string key = LocalPathKey(link->entry.path);
            if (files_.count(key) == 0 && folders_.count(key) == 0) {
                Add(link->number,
                    std::string(link->entry.kind == Shortcut ? "shortcut to " : "launch of ") +
                        Quoted(link->entry.path) + ", which no entry of the index installs");
            }
        }
        if (entryCount_ == 0) {
            Add(0, "no line gives an entry: the installer's download step fails on an empty list");
        } else if (!installs_) {
            Add(0, "no Download or Folder entry: the index installs nothing");
        }
        SortByLine(findings_);
        return std::move(findings_);
    }

    void Add(int line, std::string message) { findings_.push_back({line, std::move(message)}); }

  private:
    void CheckEncoding(int number, const char* column, const std::string& text) {
        if (LooksLikeUtf8(text)) {
            Add(number, std::string("the ") + column + " column \"" + text + "\"" +
                            " looks like UTF-8; the installer reads names in code page 936");
        } else if (!IsCp936Text(text.c_str())) {
            Add(number, std::string("the ") + column + " column is not valid code page 936 text");
        }
    }

    // Checks that the folder holding `path` exists by the time the entry is carried out.
    void RequireParent(const IndexLine& line, const std::string& path, const std::string& what) {
        const std::string parent = ParentKey(path);
        if (parent.empty() || folders_.count(parent) != 0) {
            return;
        }
        std::string message = what + " " + Quoted(path) + " lies in folder " +
                              ParentForDisplay(path) + ", which no earlier Folder entry creates";
        const auto later = allFolders_.find(parent);
        if (later != allFolders_.end()) {
            message += " (line " + std::to_string(later->second) + " creates it too late)";
        }
        Add(line.number, message);
    }

    void Place(const IndexLine& line) {
        const InstallEntry& entry = line.entry;
        switch (entry.kind) {
            case Download: {
                RequireParent(line, entry.local, "download");
                const auto [earlier, added] =
                    files_.emplace(LocalPathKey(entry.local), line.number);
                if (!added) {
                    Add(line.number, "download " + Quoted(entry.local) +
                                         " replaces the file installed by line " +
                                         std::to_string(earlier->second));
                }
                break;
            }
            case Folder:
                RequireParent(line, entry.path, "folder");
                folders_.emplace(LocalPathKey(entry.path), line.number);
                break;
            default:
                links_.push_back(&line);
                break;
        }
    }

    std::map<std::string, int> allFolders_;  // every Folder entry, wherever it stands
    std::map<std::string, int> folders_;     // Folder entries seen so far
    std::map<std::string, int> files_;       // Download entries seen so far
    std::vector<const IndexLine*> links_;
    int entryCount_ = 0;
    bool installs_ = false;
    std::vector<Finding> findings_;
};

bool StartsWith(const std::string& bytes, const char* prefix) {
    return bytes.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

SignatureVerdict SignatureVerdictOf(const std::string& text) {
    SignatureLines found;
    return LocateSignatures(text, found);
}

// A line that begins like a signature line, as the installer tells: alone, it is found (if
// malformed) rather than missing.
bool IsSignatureLine(const IndexLine& line) {
    return SignatureVerdictOf(line.text) != SignatureVerdict::Missing;
}

// Every line of the index, also those after a zero byte: it ends the entries, not the signed text.
IndexText WholeText(const std::string& bytes) {
    std::string visible = bytes;
    std::replace(visible.begin(), visible.end(), '\0', ' ');
    return ReadIndexLines(visible);
}

// Where the run of signature lines that ends the index begins in `whole.lines` (its size when the
// last line is none).
std::size_t SignatureRunStart(const IndexText& whole) {
    std::size_t start = whole.lines.size();
    while (start > 0 && IsSignatureLine(whole.lines[start - 1])) {
        --start;
    }
    return start;
}

}  // namespace

std::vector<Finding> KeyedRefusals(const std::string& bytes) {
    const IndexText whole = WholeText(bytes);
    const std::size_t runStart = SignatureRunStart(whole);
    std::vector<Finding> refusals;
    bool stray = false;
    for (std::size_t i = 0; i < runStart; ++i) {
        if (IsSignatureLine(whole.lines[i])) {
            stray = true;
            refusals.push_back({whole.lines[i].number,
                                "a signature line before other lines: signature lines must be "
                                "the last lines, followed by nothing but one line end"});
        }
    }
    const std::size_t run = whole.lines.size() - runStart;
    if (run == 0 && !stray) {
        refusals.push_back({0,
                            "no signature line at the end: an installer built with a key refuses "
                            "an unsigned index"});
    }
    if (run > MOST_SIGNATURE_LINES) {
        refusals.push_back({whole.lines[runStart].number,
                            std::to_string(run) +
                                " signature lines: an installer built with a "
                                "key reads at most " +
                                std::to_string(MOST_SIGNATURE_LINES) + " and refuses more"});
    }
    for (std::size_t i = runStart; i < whole.lines.size(); ++i) {
        if (SignatureVerdictOf(whole.lines[i].text) == SignatureVerdict::Malformed) {
            refusals.push_back({whole.lines[i].number,
                                "the signature line does not read as \"#signature v1 key=<16 hex "
                                "digits> expires=<seconds> sig=<128 hex digits>\""});
        }
    }
    for (const IndexLine& line : ReadIndexLines(bytes).lines) {
        Sha256Digest digest;
        if (line.verdict == LineVerdict::Entry && line.entry.kind == Download &&
            !ContentAddressDigest(line.entry.path, digest)) {
            refusals.push_back({line.number, "the download path " + Quoted(line.entry.path) +
                                                 " does not end in the SHA-256 of its content: "
                                                 "an installer built with a key refuses it"});
        }
    }
    SortByLine(refusals);
    return refusals;
}

std::vector<Finding> CheckFileList(const std::string& bytes, const CheckOptions& options) {
    if (bytes.empty()) {
        return {{0, "the index is empty: the installer takes an empty download for a failed one"}};
    }
    if (StartsWith(bytes, "\xFF\xFE") || StartsWith(bytes, "\xFE\xFF")) {
        return {{1,
                 "the index is UTF-16 text (it begins with a byte-order mark); the installer "
                 "reads code page 936 text"}};
    }
    const IndexText index = ReadIndexLines(bytes);
    IndexChecker checker(index);
    // The signature lines an installer reads, when it can read them all.
    const IndexText whole = WholeText(bytes);
    const std::size_t runStart = SignatureVerdictOf(bytes) == SignatureVerdict::Good
                                     ? SignatureRunStart(whole)
                                     : whole.lines.size();
    const int firstSignatureLine = runStart < whole.lines.size() ? whole.lines[runStart].number : 0;
    const bool utf8Mark = StartsWith(bytes, "\xEF\xBB\xBF");
    for (const IndexLine& line : index.lines) {
        // Signature lines are judged below when keyed; an installer without a key skips them.
        if (IsSignatureLine(line) &&
            (options.keyed || (firstSignatureLine != 0 && line.number >= firstSignatureLine))) {
            continue;
        }
        if (utf8Mark && line.number == 1) {
            checker.Add(1,
                        "the index begins with a UTF-8 byte-order mark, so the installer skips "
                        "this line; save it without one");
            continue;
        }
        checker.Line(line);
    }
    if (index.zeroByteLine != 0) {
        checker.Add(index.zeroByteLine,
                    "a zero byte ends the index here: the installer ignores the " +
                        std::to_string(index.bytesAfterZero) + " bytes after it");
    }
    if (options.keyed) {
        for (const Finding& refusal : KeyedRefusals(bytes)) {
            checker.Add(refusal.line, refusal.message);
        }
    }
    // Without a key to judge by, every line's expiry is judged alone.
    SignatureLines found;
    if (options.keyed && options.key == nullptr &&
        LocateSignatures(bytes, found) == SignatureVerdict::Good) {
        for (std::size_t i = 0; i < found.count && runStart + i < whole.lines.size(); ++i) {
            if (HasExpired(found.lines[i], options.now)) {
                checker.Add(whole.lines[runStart + i].number,
                            std::string("the signature by key ") + found.lines[i].keyId +
                                " expired on " + FormatUtc(found.lines[i].expires) +
                                ": installers that hold only that key refuse the index");
            }
        }
    }
    if (options.keyed && options.key != nullptr && firstSignatureLine != 0) {
        const SignatureJudgement judgement = JudgeSignature(bytes, options.key, options.now);
        if (judgement.verdict != SignatureVerdict::Good) {
            checker.Add(firstSignatureLine, judgement.text);
        }
    }
    return checker.Finish();
}

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
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        err << file << ": cannot be read\n";
        return EXIT_FINDING;
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
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
