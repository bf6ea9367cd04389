// undelia-cli scan: one pass over the image, then the partitions found, scored and selected.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "CliSession.h"

namespace {

void PrintTable(const CliSession& s) {
    const auto& parts = s.Parts();
    if (parts.empty()) {
        std::printf("No partition found.\n");
        return;
    }
    std::printf("%3s  %-6s %14s %14s %12s %7s  %s\n", "#", "type", "first sector", "sectors", "size", "score",
                "selected");
    for (size_t i = 0; i < parts.size(); ++i) {
        const CKivScanResPart* p = parts[i];
        std::string strSel = p->m_nSelected ? "yes" : "no";
        if (p->m_nWholeDevice) strSel += " (whole device)";
        std::printf("%3zu  %-6s %14llu %14llu %12s %7.3f  %s\n", i, CliFsTypeName(p->m_nType),
                    static_cast<unsigned long long>(p->m_nFirstSector),
                    static_cast<unsigned long long>(p->m_nSectorCount),
                    CliSizeText(p->m_nSectorCount * p->m_nSectorSize).c_str(), p->m_dScore, strSel.c_str());
    }
}

void PrintJson(const CliSession& s) {
    nlohmann::json j;
    IKivDevStor* pDev = s.Device();
    j["image"] = s.Options().strPath;
    j["sector_size"] = pDev->GetSectorSize();
    j["sectors"] = pDev->GetSectorCount();
    const CliScanSummary& sum = s.Summary();
    j["scan"] = {{"bytes_scanned", sum.nBytesScanned}, {"seconds", sum.dSeconds},
                 {"items_found", sum.nItemsFound},      {"cancelled", sum.bCancelled},
                 {"blocks_done", sum.nBlocksDone},      {"blocks", sum.nBlocks}};
    nlohmann::json arr = nlohmann::json::array();
    for (const CKivScanResPart* p : s.Parts()) {
        arr.push_back({{"type", CliFsTypeName(p->m_nType)},
                       {"type_code", p->m_nType},
                       {"first_sector", p->m_nFirstSector},
                       {"sectors", p->m_nSectorCount},
                       {"sector_size", p->m_nSectorSize},
                       {"size", p->m_nSectorCount * p->m_nSectorSize},
                       {"size_text", CliSizeText(p->m_nSectorCount * p->m_nSectorSize)},
                       {"score", p->m_dScore},
                       {"selected", p->m_nSelected != 0},
                       {"whole_device", p->m_nWholeDevice != 0}});
    }
    j["partitions"] = std::move(arr);
    std::cout << j.dump(2) << "\n";
}

}  // namespace

CliRunFn CliAddScanCommand(CLI::App& app) {
    auto pOpts = std::make_shared<CliScanOptions>();
    CLI::App* pCmd = app.add_subcommand("scan", "Scan an image or device and list the partitions found");
    CliAddScanOptions(pCmd, *pOpts);
    return [pOpts](const CliGlobalOptions& global) {
        CliSession session(global);
        if (int rc = session.OpenAndScan(*pOpts); rc != CLI_EXIT_OK) return rc;
        if (pOpts->bJson)
            PrintJson(session);
        else
            PrintTable(session);
        return CliWasInterrupted() ? CLI_EXIT_INTERRUPTED : CLI_EXIT_OK;
    };
}
