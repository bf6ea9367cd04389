// undelia-cli ls: scans, builds the result tree of the partitions kept and prints it: partitions,
// folders and files with size, state and first sector.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CliSession.h"

namespace {

// Children in the order they were added (the tree keeps them newest first).
std::vector<IKivFileNode*> ChildrenInOrder(IKivFileNode* pNode) {
    std::vector<IKivFileNode*> out;
    for (IKivFileNode* p = pNode->GetFirstChild(); p; p = p->GetNextSibling()) out.push_back(p);
    return {out.rbegin(), out.rend()};
}

bool IsFolder(IKivFileNode* pNode) { return (pNode->GetAttr()->GetAttributes() & KIV_FA_DIRECTORY) != 0; }

const char* StateText(IKivFileAttr* pAttr) {
    if (pAttr->GetAttrKind() == KIV_ATTR_RAW) return "carved";
    uint8_t s = pAttr->GetRecordState();
    if (s & KIV_REC_RECONSTRUCTED) return "rebuilt";
    if (s & KIV_REC_DAMAGED) return (s & KIV_REC_DELETED) ? "deleted, damaged" : "damaged";
    return (s & KIV_REC_DELETED) ? "deleted" : "existing";
}

// The device sector where the entry's data starts, when it has ordinary data on the device.
bool FirstSector(IKivFileNode* pNode, uint64_t* pOut) {
    IKivFileAttr* pAttr = pNode->GetAttr();
    IDataRunList* pRuns = pAttr->GetDataRunList();
    if (!pRuns) return false;
    bool bOk = false;
    const KivDataRun* r = pRuns->IsResident() ? nullptr : pRuns->First();
    if (r && r->nStart != KIV_SPARSE_RUN) {
        if (pAttr->GetAttrKind() == KIV_ATTR_RAW) {
            *pOut = r->nStart;  // carved runs count device sectors
        } else {
            uint64_t nBase = 0;
            uint32_t nSpc = 0;
            pNode->GetPartInfo(&nBase, &nSpc);
            *pOut = nBase + r->nStart * nSpc;
        }
        bOk = true;
    }
    delete pRuns;
    return bOk;
}

struct Entry {
    IKivFileNode* pNode;
    std::string path;
    int depth;
};

// Depth-first in display order, without recursion (hostile trees may be deep).
template <class Fn>
void Walk(IKivFileNode* pRoot, Fn&& fn) {
    std::vector<Entry> stack;
    auto top = ChildrenInOrder(pRoot);
    for (auto it = top.rbegin(); it != top.rend(); ++it) stack.push_back({*it, (*it)->GetAttr()->GetName(), 0});
    while (!stack.empty()) {
        Entry e = stack.back();
        stack.pop_back();
        fn(e);
        if (!IsFolder(e.pNode) && !e.pNode->IsFsNode()) continue;
        auto kids = ChildrenInOrder(e.pNode);
        for (auto it = kids.rbegin(); it != kids.rend(); ++it)
            stack.push_back({*it, e.path + "/" + (*it)->GetAttr()->GetName(), e.depth + 1});
    }
}

std::string PartitionText(IKivFileNode* pNode) {
    std::string s = std::string(pNode->GetAttr()->GetName()) + "  [" + CliFsTypeName(pNode->GetFsType()) + "]";
    auto* pFs = static_cast<IKivFsNode*>(pNode);
    if (*pFs->GetLabel()) s += std::string("  label \"") + pFs->GetLabel() + "\"";
    KivFsStats st{};
    pFs->RecountStats();
    pFs->GetStats(&st);
    s += "  " + std::to_string(st.nFiles) + " files, " + CliSizeText(st.nSize);
    return s;
}

void PrintText(const CliSession& s) {
    uint64_t nFiles = 0, nFolders = 0;
    Walk(s.Root(), [&](const Entry& e) {
        std::string indent(static_cast<size_t>(e.depth) * 2, ' ');
        IKivFileAttr* pAttr = e.pNode->GetAttr();
        if (e.pNode->IsFsNode()) {
            std::printf("%s%s\n", indent.c_str(), PartitionText(e.pNode).c_str());
            return;
        }
        if (IsFolder(e.pNode)) {
            ++nFolders;
            if (pAttr->GetAttrKind() == KIV_ATTR_RAW)
                std::printf("%s%s/\n", indent.c_str(), pAttr->GetName());
            else
                std::printf("%s%s/  %s\n", indent.c_str(), pAttr->GetName(), StateText(pAttr));
            return;
        }
        ++nFiles;
        std::string line = indent + pAttr->GetName() + "  " + CliSizeText(pAttr->GetSize()) + "  " + StateText(pAttr);
        uint64_t nSector = 0;
        if (FirstSector(e.pNode, &nSector)) line += "  sector " + std::to_string(nSector);
        std::printf("%s\n", line.c_str());
    });
    if (!s.Global().bQuiet) std::printf("%llu files in %llu folders\n", static_cast<unsigned long long>(nFiles),
                                        static_cast<unsigned long long>(nFolders));
}

void PrintJson(const CliSession& s) {
    nlohmann::json j;
    j["image"] = s.Options().strPath;
    const CliScanSummary& sum = s.Summary();
    j["scan"] = {{"bytes_scanned", sum.nBytesScanned}, {"seconds", sum.dSeconds},
                 {"items_found", sum.nItemsFound},      {"cancelled", sum.bCancelled}};
    nlohmann::json arr = nlohmann::json::array();
    if (s.Root()) {
        Walk(s.Root(), [&](const Entry& e) {
            IKivFileAttr* pAttr = e.pNode->GetAttr();
            nlohmann::json o;
            o["path"] = e.path;
            if (e.pNode->IsFsNode()) {
                o["kind"] = "partition";
                o["fs_type"] = CliFsTypeName(e.pNode->GetFsType());
                o["label"] = static_cast<IKivFsNode*>(e.pNode)->GetLabel();
            } else {
                o["kind"] = IsFolder(e.pNode) ? "folder" : "file";
                o["state"] = StateText(pAttr);
                // Part of its data lies past the end of the image or device.
                if (pAttr->GetRecordState() & KIV_REC_DAMAGED) o["damaged"] = true;
                if (!IsFolder(e.pNode)) o["size"] = pAttr->GetSize();
                uint64_t nSector = 0;
                if (FirstSector(e.pNode, &nSector)) o["start_sector"] = nSector;
                if (*pAttr->GetTypeText()) o["text"] = pAttr->GetTypeText();
                if (uint64_t t = pAttr->GetModificationTime(); t && (pAttr->GetValidFields() & KIV_VALID_MTIME))
                    o["modified"] = CliTimeText(t);
            }
            arr.push_back(std::move(o));
        });
    }
    j["entries"] = std::move(arr);
    std::cout << j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

}  // namespace

CliRunFn CliAddLsCommand(CLI::App& app) {
    auto pOpts = std::make_shared<CliScanOptions>();
    CLI::App* pCmd = app.add_subcommand("ls", "Scan, then list the folders and files found");
    CliAddScanOptions(pCmd, *pOpts);
    return [pOpts](const CliGlobalOptions& global) {
        CliSession session(global);
        if (int rc = session.OpenAndScan(*pOpts); rc != CLI_EXIT_OK) return rc;
        if (int rc = session.BuildTree(); rc != CLI_EXIT_OK) return rc;
        if (pOpts->bJson)
            PrintJson(session);
        else if (session.Root())
            PrintText(session);
        return CliWasInterrupted() ? CLI_EXIT_INTERRUPTED : CLI_EXIT_OK;
    };
}
