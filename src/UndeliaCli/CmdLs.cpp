// undelia-cli ls: the result tree of a scan.
#include <CLI/CLI.hpp>

#include "CliSession.h"

CliRunFn CliAddLsCommand(CLI::App& app) {
    auto pOpts = std::make_shared<CliScanOptions>();
    CLI::App* pCmd = app.add_subcommand("ls", "Scan, then list the folders and files found");
    CliAddScanOptions(pCmd, *pOpts);
    return [pOpts](const CliGlobalOptions&) {
        CliError("ls: not yet available");
        return CLI_EXIT_FAILED;
    };
}
