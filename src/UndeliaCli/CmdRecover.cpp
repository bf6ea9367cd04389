// undelia-cli recover: copies found files out of the image into a folder.
#include <CLI/CLI.hpp>

#include "CliSession.h"

CliRunFn CliAddRecoverCommand(CLI::App& app) {
    auto pOpts = std::make_shared<CliScanOptions>();
    CLI::App* pCmd = app.add_subcommand("recover", "Scan, then copy the files found into a folder");
    CliAddScanOptions(pCmd, *pOpts);
    return [pOpts](const CliGlobalOptions&) {
        CliError("recover: not yet available");
        return CLI_EXIT_FAILED;
    };
}
