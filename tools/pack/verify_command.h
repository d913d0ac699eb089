// tessaly-pack verify: fetches a published package the way the installer will, and reports every
// file it could not install.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "pack/index_signing.h"

namespace tessaly::pack {

extern const char VERIFY_USAGE[];

struct VerifyOptions {
    std::string baseUrl;  // http://host[:port][/path]; only the server: the path is /AppData/
    std::string against;  // a built package tree (OUT_DIR) to compare with; empty for none
    // Judge as installers each built with one of these public keys; none: not judged.
    std::vector<EVP_PKEY*> keys{};
    std::uint64_t now = 0;  // UTC seconds, for the signatures' expiry
};

// Receives the course of a verify run.
class VerifyProgress {
  public:
    virtual ~VerifyProgress() = default;
    virtual void Begin(std::size_t total) = 0;
    // A problem, as one finished line.
    virtual void Report(const std::string& line) = 0;
    // `done` files of the total are checked; the last was `what`, without problems when `ok`.
    virtual void Checked(std::size_t done, const std::string& what, bool ok) = 0;
    virtual void End() = 0;
};

// A bar redrawn in place, for a terminal `width` columns wide.
std::unique_ptr<VerifyProgress> MakeBarProgress(std::ostream& out, std::size_t width);
// One line per file, for a log or a pipe.
std::unique_ptr<VerifyProgress> MakePlainProgress(std::ostream& out);

// "[#####.....]  5/10  label", cut to `width` columns.
std::string RenderProgressBar(std::size_t done, std::size_t total, std::size_t width,
                              const std::string& label);

struct VerifyResult {
    bool indexFetched = false;
    std::size_t downloads = 0;          // distinct Download paths checked
    std::vector<std::string> findings;  // one line each, also sent to the progress
    // Per key that accepts the index: "signed by key …, valid until …".
    std::vector<std::string> signatures;
};

// Fetches the index, then every Download entry once. A file fails when the installer would not take
// its answer (no 2xx, an empty body, not the announced length), when its content does not match a
// content-addressed path (one ending in a SHA-256) or, with `against`, when its bytes differ from
// the local tree; the index itself is compared too. With `keys`, the index fails for each key
// unless an installer holding only that key accepts it at `now`, and every Download path that is
// not content-addressed fails, as an installer built with a key refuses them.
VerifyResult VerifyPackage(const VerifyOptions& options, VerifyProgress& progress);

// Runs "verify BASE_URL [--against OUT_DIR] [--key PUBLIC_KEY]...".
int RunVerify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tessaly::pack
