// undelia-cli types: the file types --types accepts, and what each does.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "CliSession.h"
#include "CliTypes.h"

CliRunFn CliAddTypesCommand(CLI::App& app) {
    auto pJson = std::make_shared<bool>(false);
    CLI::App* pCmd = app.add_subcommand("types", "List the file types --types accepts");
    pCmd->add_flag("--json", *pJson, "Print the list as JSON on stdout");
    return [pJson](const CliGlobalOptions&) {
        std::vector<CliFileType> types = CliKnownTypes();
        if (*pJson) {
            nlohmann::json arr = nlohmann::json::array();
            for (const CliFileType& t : types)
                arr.push_back({{"extension", t.ext}, {"carved", !t.folder.empty()}, {"folder", t.folder}});
            std::cout << nlohmann::json{{"types", arr}}.dump(2) << "\n";
            return CLI_EXIT_OK;
        }
        std::printf("Carved by their content, and kept in the file-system trees (folder of the carved files):\n");
        for (const CliFileType& t : types)
            if (!t.folder.empty()) std::printf("  %-6s %s\n", t.ext.c_str(), t.folder.c_str());
        std::printf("  (mpg also carves the types of the user-defined headers in CustomFileScript)\n");
        bool bHeader = false;
        for (const CliFileType& t : types) {
            if (!t.folder.empty()) continue;
            if (!bHeader) std::printf("Kept in the file-system trees only (not carved):\n ");
            bHeader = true;
            std::printf(" %s", t.ext.c_str());
        }
        if (bHeader) std::printf("\n");
        return CLI_EXIT_OK;
    };
}
