// Exit codes, finding lines and argument reading shared by the subcommands.
#include "pack/command.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace tessaly::pack {

std::string FormatFinding(const std::string& file, const Finding& finding) {
    if (finding.line == 0) {
        return file + ": " + finding.message;
    }
    return file + ":" + std::to_string(finding.line) + ": " + finding.message;
}

bool ReadWholeFile(const std::filesystem::path& file, std::string& bytes) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::string Count(std::uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

bool ReadArguments(const std::vector<std::string>& args,
                   const std::vector<std::string>& valueOptions, Arguments& parsed,
                   std::string& error, const std::vector<std::string>& flagOptions) {
    parsed = Arguments{};
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            parsed.positionals.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (std::find(flagOptions.begin(), flagOptions.end(), name) != flagOptions.end()) {
            if (equals != std::string::npos) {
                error = name + " takes no value";
                return false;
            }
            parsed.flags.push_back(name);
            continue;
        }
        if (std::find(valueOptions.begin(), valueOptions.end(), name) == valueOptions.end()) {
            error = "unknown option " + name;
            return false;
        }
        if (equals != std::string::npos) {
            parsed.options.emplace_back(name, arg.substr(equals + 1));
        } else if (i + 1 < args.size()) {
            parsed.options.emplace_back(name, args[++i]);
        } else {
            error = name + " needs a value";
            return false;
        }
    }
    return true;
}

bool HasFlag(const Arguments& parsed, const std::string& name) {
    return std::find(parsed.flags.begin(), parsed.flags.end(), name) != parsed.flags.end();
}

bool WantsHelp(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--") {
            return false;
        }
        if (arg == "-h" || arg == "--help") {
            return true;
        }
    }
    return false;
}

int UsageError(std::ostream& err, const std::string& command, const std::string& message) {
    err << "tessaly-pack " << command << ": " << message << " (see tessaly-pack " << command
        << " --help)\n";
    return EXIT_USAGE;
}

bool ReadNumber(const std::string& text, std::uint64_t max, std::uint64_t& number) {
    if (text.empty() || text.size() > 15 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    number = std::stoull(text);
    return number <= max;
}

std::optional<int> ReadCommandLine(const std::vector<std::string>& args, const CommandLine& line,
                                   Arguments& parsed, std::ostream& out, std::ostream& err) {
    if (WantsHelp(args)) {
        out << line.usage;
        return EXIT_OK;
    }
    std::string error;
    if (!ReadArguments(args, line.valueOptions, parsed, error, line.flagOptions)) {
        return UsageError(err, line.name, error);
    }
    if (parsed.positionals.size() != line.positionals) {
        return UsageError(err, line.name, std::string("expected ") + line.positionalsNamed);
    }
    return std::nullopt;
}

}  // namespace tessaly::pack
