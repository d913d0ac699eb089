// Helpers for the tessaly-pack tests: scratch folders, whole files and runs of the built program.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>

#include "pack/sha256.h"
#include "support/files.h"
#include "support/process.h"

namespace tessaly::pack::testing {

namespace fs = std::filesystem;
using test::ReadWholeFile;
using test::WriteTestFile;

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "tessaly-pack-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "mkdtemp failed";
        }
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& relative) const { return path_ / relative; }

  private:
    fs::path path_;
};

struct ProgramRun {
    int exitCode;
    std::string output;  // standard output and standard error together
};

// Runs the built tessaly-pack with `arguments` (already quoted for the shell).
inline ProgramRun RunProgram(const std::string& arguments) {
    const std::string command =
        std::string("'") + TESSALY_PACK_PROGRAM + "' " + arguments + " 2>&1";
    const test::CommandResult result =
        test::RunCommand({"/bin/sh", "-c", command}, std::chrono::minutes(10));
    EXPECT_TRUE(result.finished) << "did not end in time: " << command;
    return {result.finished ? result.exitCode : -1, result.output};
}

// Success when `run` ended with `exitCode` and its output holds each of `parts`; otherwise what
// differs, and the output.
inline ::testing::AssertionResult Ended(const ProgramRun& run, int exitCode,
                                        std::initializer_list<std::string> parts = {}) {
    if (run.exitCode != exitCode) {
        return ::testing::AssertionFailure()
               << "exit code " << run.exitCode << ", not " << exitCode << ":\n"
               << run.output;
    }
    for (const std::string& part : parts) {
        if (run.output.find(part) == std::string::npos) {
            return ::testing::AssertionFailure() << "no \"" << part << "\" in:\n" << run.output;
        }
    }
    return ::testing::AssertionSuccess();
}

inline std::string Quote(const fs::path& path) {
    return "'" + path.string() + "'";
}

// The hex SHA-256 that names a stored object.
inline std::string Sha(const std::string& bytes) {
    return Sha256Hex(bytes.data(), bytes.size());
}

}  // namespace tessaly::pack::testing
