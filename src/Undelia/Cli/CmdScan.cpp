// undelia-cli scan: one pass over the image, then the partitions found, scored and selected. The
// table shows what ls and recover work on: the selected partitions, each with a tree behind it.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "CliSession.h"

namespace {

struct ScanOptions {
    CliScanOptions scan;
    bool bAllCandidates = false;  // also the candidates that were not selected
};

std::vector<const CKivScanResPart*> Shown(const CliSession& s, bool bAll) {
    std::vector<const CKivScanResPart*> out;
    for (const CKivScanResPart* p : s.Parts())
        if (bAll || p->m_nSelected) out.push_back(p);
    return out;
}

void PrintTable(const CliSession& s, bool bAll) {
    std::vector<const CKivScanResPart*> parts = Shown(s, bAll);
    if (parts.empty()) {
        std::printf("No partition found.\n");
        size_t nOthers = s.Parts().size();
        if (nOthers && !s.Global().bQuiet)
            std::printf("(%zu candidate%s without a readable file system; --all-candidates lists them)\n", nOthers,
                        nOthers == 1 ? "" : "s");
        return;
    }
    // "#" is the partition's index in `devices`, the one --part takes: no number of the scan's own.
    std::printf("%3s  %-6s %14s %14s %12s %7s  %s\n", "#", "type", "first sector", "sectors", "size", "score",
                "selected");
    for (size_t i = 0; i < parts.size(); ++i) {
        const CKivScanResPart* p = parts[i];
        std::string strSel = p->m_nSelected ? "yes" : "no (candidate)";
        if (p->m_nWholeDevice) strSel += " (whole device)";
        int nIndex = s.PartIndex(p);
        std::printf("%3s  %-6s %14llu %14llu %12s %7.3f  %s\n", nIndex < 0 ? "-" : std::to_string(nIndex).c_str(),
                    CliFsTypeName(p->m_nType),
                    static_cast<unsigned long long>(p->m_nFirstSector),
                    static_cast<unsigned long long>(p->m_nSectorCount),
                    CliSizeText(p->m_nSectorCount * p->m_nSectorSize).c_str(), p->m_dScore, strSel.c_str());
    }
    size_t nHidden = s.Parts().size() - parts.size();
    if (nHidden && !s.Global().bQuiet)
        std::printf("(%zu more candidate%s not selected; --all-candidates lists them)\n", nHidden, nHidden == 1 ? "" : "s");
}

void PrintJson(const CliSession& s, bool bAll) {
    nlohmann::json j;
    IKivDevStor* pDev = s.Device();
    j["image"] = s.Options().strPath;
    j["sector_size"] = pDev->GetSectorSize();
    j["sectors"] = pDev->GetSectorCount();
    const CliScanSummary& sum = s.Summary();
    j["scan"] = {{"bytes_scanned", sum.nBytesScanned}, {"seconds", sum.dSeconds},
                 {"items_found", sum.nItemsFound},      {"cancelled", sum.bCancelled},
                 {"from_session", sum.bFromSession},
                 {"blocks_done", sum.nBlocksDone},      {"blocks", sum.nBlocks}};
    if (sum.nOtherSectorSize) j["scan"]["other_sector_size"] = sum.nOtherSectorSize;
    CliBadSectors bad = s.BadSectors();
    j["unreadable"] = {{"failed_sectors", bad.nFailed}, {"untried_sectors", bad.nUntried},
                       {"mapfile_sectors", bad.nFromMap}};
    nlohmann::json arr = nlohmann::json::array();
    for (const CKivScanResPart* p : Shown(s, bAll)) {
        int nIndex = s.PartIndex(p);
        arr.push_back({{"partition_number", nIndex < 0 ? nlohmann::json(nullptr) : nlohmann::json(nIndex)},
                       {"type", CliFsTypeName(p->m_nType)},
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
    j["candidates_not_shown"] = s.Parts().size() - Shown(s, bAll).size();
    std::cout << j.dump(2) << "\n";
}

}  // namespace

CliRunFn CliAddScanCommand(CLI::App& app) {
    auto pOpts = std::make_shared<ScanOptions>();
    CLI::App* pCmd = app.add_subcommand("scan", "Scan an image or device and list the partitions found");
    CliAddScanOptions(pCmd, pOpts->scan);
    pCmd->add_flag("--all-candidates", pOpts->bAllCandidates,
                   "Also list the candidates that were not selected (marked as such)");
    pCmd->add_flag("--resume", pOpts->scan.bResume,
                   "Go on with the scan kept in --session FILE (stopped by Ctrl-C, a crash or power loss) "
                   "from the block it reached");
    CLI::Option* pSaveEvery =
        pCmd->add_option("--save-every", pOpts->scan.dSaveEvery,
                         "With --session: seconds between saves while scanning (default 300; 0 saves after every block)")
            ->check(CLI::NonNegativeNumber);
    pOpts->scan.bWritesSession = true;
    return [pOpts, pSaveEvery](const CliGlobalOptions& global) {
        if (pOpts->scan.strSession.empty() && (pOpts->scan.bResume || pSaveEvery->count())) {
            CliError(std::string(pOpts->scan.bResume ? "--resume" : "--save-every") + " goes with --session FILE");
            return CLI_EXIT_USAGE;
        }
        CliSession session(global);
        if (int rc = session.OpenAndScan(pOpts->scan); rc != CLI_EXIT_OK) return rc;
        // Building the trees settles which partitions stand: one without a tree is not shown.
        if (int rc = session.BuildTree(true); rc != CLI_EXIT_OK) return rc;
        if (pOpts->scan.bJson)
            PrintJson(session, pOpts->bAllCandidates);
        else
            PrintTable(session, pOpts->bAllCandidates);
        return CliWasInterrupted() ? CLI_EXIT_INTERRUPTED : CLI_EXIT_OK;
    };
}
