// The index linter: judges each line with the installer's parser, each entry with the installer's
// limits, and the entries together in the order the install passes walk them.
#include "pack/index_check.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>

#include "format/content_address.h"
#include "format/cp936_bytes.h"
#include "format/index_text.h"
#include "pack/cp936.h"
#include "pack/entry_limits.h"
#include "pack/index_signing.h"
#include "pack/local_names.h"
#include "pack/signature_report.h"

namespace tessaly::pack {

namespace {

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
        } else if (std::string utf8; !Cp936ToUtf8(text, utf8)) {
            Add(number, std::string("the ") + column + " column " + Quoted(text) +
                            " holds a byte pair to which code page 936 assigns no character: " +
                            "Windows does not convert it, and the installer refuses the name");
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

const unsigned char* Bytes(const std::string& text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

// A line that begins like a signature line.
bool IsSignatureLine(const IndexLine& line) {
    return BeginsSignatureLine(Bytes(line.text), line.text.size());
}

// Every line of the index, also those after a zero byte: it ends the entries, not the signed text.
IndexText WholeText(const std::string& bytes) {
    std::string visible = bytes;
    std::replace(visible.begin(), visible.end(), '\0', ' ');
    return ReadIndexLines(visible);
}

// Where the run of signature lines that ends the index, as the installer finds it, begins in
// `whole.lines` (its size when there is none).
std::size_t SignatureRunStart(const IndexText& whole, const std::string& bytes) {
    const SignatureRun run = FindSignatureRun(Bytes(bytes), bytes.size());
    std::size_t start = 0;
    while (start < whole.lines.size() && whole.lines[start].offset < run.start) {
        ++start;
    }
    return start;
}

}  // namespace

std::vector<Finding> KeyedRefusals(const std::string& bytes) {
    const IndexText whole = WholeText(bytes);
    const std::size_t runStart = SignatureRunStart(whole, bytes);
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
        IndexSignature read;
        if (!ReadSignatureLine(Bytes(bytes) + whole.lines[i].offset, whole.lines[i].text.size(),
                               read)) {
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
    SignatureLines found;
    const bool signatureRead = LocateSignatures(bytes, found) == SignatureVerdict::Good;
    const std::size_t runStart =
        signatureRead ? SignatureRunStart(whole, bytes) : whole.lines.size();
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
    if (options.keyed && options.key == nullptr && signatureRead) {
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

}  // namespace tessaly::pack
