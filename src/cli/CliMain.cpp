// orvanta-cli: index, search and inspect the catalogue from a terminal or a
// script, over the same catalogue and thumbnail cache as the desktop program.

#include "cli/CliSupport.h"

#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr char kUsage[] =
    "usage: orvanta-cli COMMAND [ARGS]\n"
    "Commands:\n"
    "  index DIR...     record the files below the folders, with thumbnails and metadata\n"
    "  search QUERY...  quick search; one full path per line\n"
    "  show PATH...     the catalogue's record of files\n"
    "  albums           the album tree\n"
    "'orvanta-cli COMMAND --help' tells more. Exit status: 0 success, 1 usage error,\n"
    "2 the catalogue cannot be opened, 3 a file shown is not in the catalogue,\n"
    "130 indexing interrupted.\n";

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << kUsage;
        return cli::kExitUsage;
    }
    if (cli::IsHelp(args[0])) {
        std::cout << kUsage;
        return cli::kExitOk;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    if (command == "index") {
        return cli::RunIndex(args);
    }
    if (command == "search") {
        return cli::RunSearch(args);
    }
    if (command == "show") {
        return cli::RunShow(args);
    }
    if (command == "albums") {
        return cli::RunAlbums(args);
    }
    std::cerr << "orvanta-cli: unknown command '" << command << "'\n" << kUsage;
    return cli::kExitUsage;
}
