// undelia-cli: finds deleted and lost files on disk images and block devices, read only.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <set>
#include <string>

#include "CliSession.h"
#include "KivVersion.h"

int main(int argc, char** argv) {
    CLI::App app{"Finds deleted and lost files on disk images and block devices; never writes to them.",
                 "undelia-cli"};
    app.set_version_flag("-V,--version", "undelia-cli " UNDELIA_VERSION);
    CliGlobalOptions global;
    app.add_flag("-q,--quiet", global.bQuiet, "No progress line and no summary on stderr");
    app.require_subcommand(1);

    CliRunFn runScan = CliAddScanCommand(app);
    CliRunFn runLs = CliAddLsCommand(app);
    CliRunFn runRecover = CliAddRecoverCommand(app);
    CliRunFn runDevices = CliAddDevicesCommand(app);
    CliRunFn runTypes = CliAddTypesCommand(app);
    // Global options are taken after the command too (scan -q IMAGE, scan IMAGE --quiet).
    std::string strCommands;
    std::set<std::string> commands;
    for (CLI::App* pSub : app.get_subcommands({})) {
        pSub->fallthrough();
        commands.insert(pSub->get_name());
        strCommands += (strCommands.empty() ? "" : ", ") + pSub->get_name();
    }
    // The first word that is no option names the command: say which one is unknown.
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a.empty() || a[0] == '-') continue;
        if (!commands.count(a)) {
            CliError("unknown command '" + a + "' (commands: " + strCommands + "; see undelia-cli --help)");
            return CLI_EXIT_USAGE;
        }
        break;
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        CliError(std::string(e.what()) + " (see undelia-cli --help)");
        return CLI_EXIT_USAGE;
    }

    CliInstallInterruptHandler();
    try {
        const CLI::App* pCmd = app.get_subcommands().front();
        if (pCmd->get_name() == "scan") return runScan(global);
        if (pCmd->get_name() == "ls") return runLs(global);
        if (pCmd->get_name() == "recover") return runRecover(global);
        if (pCmd->get_name() == "devices") return runDevices(global);
        if (pCmd->get_name() == "types") return runTypes(global);
    } catch (const std::exception& e) {
        CliError(std::string("unexpected failure: ") + e.what());
        return CLI_EXIT_FAILED;
    }
    return CLI_EXIT_USAGE;
}
