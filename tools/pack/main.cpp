// tessaly-pack: the publisher's tool for Tessaly packages. Dispatches to one subcommand.
#include <iostream>
#include <string>
#include <vector>

#include "pack/build_command.h"
#include "pack/check_command.h"
#include "pack/command.h"
#include "pack/gc_command.h"
#include "pack/publish_command.h"
#include "pack/serve_command.h"
#include "pack/sign_command.h"
#include "pack/verify_command.h"

namespace {

const char USAGE[] =
    "usage: tessaly-pack COMMAND [ARGS]...\n"
    "\n"
    "  build STAGING_DIR OUT_DIR [--shortcut TARGET=NAME]... [--launch TARGET]...\n"
    "                    [--sign KEY [--expires WHEN]]\n"
    "                    write the package server tree for a staging folder\n"
    "  check FILE_LIST [--signed] [--key PUBLIC_KEY]\n"
    "                    report what the installer would skip or fail on in an index\n"
    "  verify BASE_URL [--against OUT_DIR] [--key PUBLIC_KEY]\n"
    "                    fetch a published package as the installer does\n"
    "  serve OUT_DIR [--port N] [--bind ADDRESS]\n"
    "                    serve a package tree on 127.0.0.1 for local tests\n"
    "  publish PACKAGE DEST [--dry-run]\n"
    "                    upload a built package to an rclone remote or a folder, index last\n"
    "  gc DEST --keep N --older-than DURATION [--dry-run]\n"
    "                    remove the objects that no recent published index names\n"
    "  keygen KEY        make a key pair for signing indexes: KEY (private) and KEY.pub\n"
    "  sign PACKAGE --key KEY [--expires WHEN]\n"
    "                    sign the index of a built package again, without building it\n"
    "\n"
    "Run tessaly-pack COMMAND --help for the details of one command.\n";

// The subcommands, each with its own command line, I/O and messages.
struct Command {
    const char* name;
    int (*run)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
};

const Command COMMANDS[] = {
    {"build", tessaly::pack::RunBuild},     {"check", tessaly::pack::RunCheck},
    {"verify", tessaly::pack::RunVerify},   {"serve", tessaly::pack::RunServe},
    {"publish", tessaly::pack::RunPublish}, {"gc", tessaly::pack::RunGc},
    {"keygen", tessaly::pack::RunKeygen},   {"sign", tessaly::pack::RunSign},
};

}  // namespace

int main(int argc, char** argv) {
    using namespace tessaly::pack;
    const std::vector<std::string> args(argv + (argc > 1 ? 2 : 1), argv + argc);
    const std::string command = argc > 1 ? argv[1] : "";
    for (const Command& entry : COMMANDS) {
        if (command == entry.name) {
            return entry.run(args, std::cout, std::cerr);
        }
    }
    if (command == "-h" || command == "--help") {
        std::cout << USAGE;
        return EXIT_OK;
    }
    std::cerr << (command.empty() ? "tessaly-pack: expected a command\n"
                                  : "tessaly-pack: unknown command " + command + "\n")
              << USAGE;
    return EXIT_USAGE;
}
