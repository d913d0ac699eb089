// What every tessaly-pack subcommand shares: exit codes, findings, the reading of arguments and of
// whole files, and counted nouns in messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace tessaly::pack {

constexpr int EXIT_OK = 0;       // done, nothing to report
constexpr int EXIT_FINDING = 1;  // a finding, a refusal or an error
constexpr int EXIT_USAGE = 2;    // the command line was wrong

// One problem found in a file, at a line as an editor numbers it (0: the file as a whole).
struct Finding {
    int line;
    std::string message;
};

// "FILE:LINE: message", or "FILE: message" for the file as a whole.
std::string FormatFinding(const std::string& file, const Finding& finding);

// A command line split into positional arguments and options, both in the order given.
struct Arguments {
    std::vector<std::string> positionals;
    std::vector<std::pair<std::string, std::string>> options;  // name (with "--") and value
    std::vector<std::string> flags;                            // options without a value
};

// Splits `args`: every option named in `valueOptions` takes a value ("--name VALUE" or
// "--name=VALUE"), every one in `flagOptions` none; "--" ends the options. False, with `error`
// set, for an unknown option, a missing value or a flag given one.
bool ReadArguments(const std::vector<std::string>& args,
                   const std::vector<std::string>& valueOptions, Arguments& parsed,
                   std::string& error, const std::vector<std::string>& flagOptions = {});

// True when the flag `name` was given.
bool HasFlag(const Arguments& parsed, const std::string& name);

// True when `args` asks for help ("-h" or "--help" before any "--").
bool WantsHelp(const std::vector<std::string>& args);

// Writes "tessaly-pack COMMAND: message" and a pointer to --help; returns EXIT_USAGE.
int UsageError(std::ostream& err, const std::string& command, const std::string& message);

// The whole content of `file`; false when it cannot be opened (errno says why) or read.
bool ReadWholeFile(const std::filesystem::path& file, std::string& bytes);

// "1 object", "3 objects".
std::string Count(std::uint64_t count, const char* one, const char* many);

// A number as the commands take it: decimal digits only (at most 15 of them), at most `max`.
bool ReadNumber(const std::string& text, std::uint64_t max, std::uint64_t& number);

// What one command accepts on its command line.
struct CommandLine {
    const char* name;   // "build"
    const char* usage;  // its --help text
    std::vector<std::string> valueOptions;
    std::vector<std::string> flagOptions;
    std::size_t positionals;       // how many positional arguments it takes
    const char* positionalsNamed;  // for the error when another number is given: "one OUT_DIR"
};

// The start that every command shares: --help prints the usage (exit 0), and a command line that
// does not fit `line` is a usage error (exit 2). Returns that exit code, or nothing, with `parsed`
// filled, when the command goes on.
std::optional<int> ReadCommandLine(const std::vector<std::string>& args, const CommandLine& line,
                                   Arguments& parsed, std::ostream& out, std::ostream& err);

}  // namespace tessaly::pack
