// undelia-cli: finds deleted and lost files on disk images and block devices, read only. The
// program's main is CliProgram.cpp; test programs run CliMain too, with their hooks set.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <set>
#include <string>
#include <vector>

#include "CliSession.h"
#include "CliText.h"
#include "KivUiTexts.h"
#include "KivVersion.h"

int CliMain(int argc, char** argv) {
    CLI::App app{"Finds deleted and lost files on disk images and block devices; never writes to them.",
                 "undelia-cli"};
    app.set_version_flag("-V,--version", "undelia-cli " UNDELIA_VERSION);
    CliGlobalOptions global;
    global.strCommandLine = KivCommandLineText(std::vector<std::string>(argv, argv + argc));
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
    int rc = CLI_EXIT_USAGE;
    try {
        const std::string name = app.get_subcommands().front()->get_name();
        for (const auto& [pszName, run] : {std::pair<const char*, CliRunFn&>{"scan", runScan},
                                           {"ls", runLs}, {"recover", runRecover},
                                           {"devices", runDevices}, {"types", runTypes}})
            if (name == pszName) rc = run(global);
    } catch (const std::exception& e) {
        CliError(std::string("unexpected failure: ") + e.what());
        rc = CLI_EXIT_FAILED;
    }
    // Output that never reached its file is a failure, whatever the command made of its work.
    if (std::string why; !CliCloseStdout(&why)) {
        CliError("cannot write the output: " + why);
        if (rc == CLI_EXIT_OK) rc = CLI_EXIT_FAILED;
    }
    return rc;
}
