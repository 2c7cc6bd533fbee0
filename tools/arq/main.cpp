// arq: the command-line tool for archives. Reads the subcommand and hands over.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tools/arq/commands.h"
#include "tools/arq/console.h"
#include "tools/arq/exit_codes.h"
#include "tools/arq/help.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    if (args.empty()) {
        std::fputs(
            "Usage: arq create|list|test|extract ARCHIVE ...  |  arq show OUTPUT SHOW PLAYER\n"
            "See arq --help.\n",
            stderr);
        return ARQ_EXIT_USAGE;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    if (command == "-h" || command == "--help") return PrintHelp("");
    if (command == "help") {
        // Help on help is the general help, which lists the commands; a wrong name points
        // there too, not back at this command's own help.
        if (args.size() > 1) return UsageError("", "help names one command");
        if (!args.empty() && args[0] == "help") return PrintHelp("");
        if (!args.empty() && args[0] != "create" && args[0] != "list" && args[0] != "test" &&
            args[0] != "extract" && args[0] != "show") {
            return UsageError("", "help: unknown command '" + args[0] + "'");
        }
        return PrintHelp(args.empty() ? "" : args[0]);
    }
    if (command == "--version" || command == "-V") {
        std::printf("%s\n", ArqVersion());
        return ARQ_EXIT_OK;
    }

    // Ctrl+C stops arq at the next step it can stop at, and what it was writing is
    // removed or reported instead of being left half done.
    PlatCatchInterrupt();
    if (command == "create") return CommandCreate(args);
    if (command == "list") return CommandList(args);
    if (command == "test") return CommandTest(args);
    if (command == "extract") return CommandExtract(args);
    if (command == "show") return CommandShow(args);
    return UsageError("", "unknown command '" + command + "'");
}
