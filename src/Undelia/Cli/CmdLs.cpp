// undelia-cli ls: scans, builds the result tree of the partitions kept and prints it: partitions,
// folders and files with size, state and first sector.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CliSession.h"
#include "CliText.h"
#include "CliView.h"

namespace {

// Children in the order they were added (the tree keeps them newest first).
std::vector<IKivFileNode*> ChildrenInOrder(IKivFileNode* pNode) {
    std::vector<IKivFileNode*> out;
    for (IKivFileNode* p = pNode->GetFirstChild(); p; p = p->GetNextSibling()) out.push_back(p);
    return {out.rbegin(), out.rend()};
}

bool IsFolder(IKivFileNode* pNode) { return (pNode->GetAttr()->GetAttributes() & KIV_FA_DIRECTORY) != 0; }

// The entry's data as the recovery reads it, in device sectors. Carved runs count device sectors
// already; file-system runs count clusters from the partition's base.
struct DeviceRuns {
    bool bResident = false;
    uint64_t nRecordSector = 0;  // resident: the file record holding the data
    uint16_t nValueOffset = 0;   // resident: the data's offset inside that record
    std::vector<KivDataRun> runs;  // sectors; nStart is KIV_SPARSE_RUN for a hole
};

bool GetDeviceRuns(IKivFileNode* pNode, DeviceRuns* pOut) {
    IKivFileAttr* pAttr = pNode->GetAttr();
    std::unique_ptr<IDataRunList> runs(pAttr->GetDataRunList());
    if (!runs) return false;
    uint64_t nBase = 0;
    uint32_t nSpc = 1;
    if (pAttr->GetAttrKind() != KIV_ATTR_RAW && (!pNode->GetPartInfo(&nBase, &nSpc) || nSpc == 0)) return false;
    if (pAttr->GetAttrKind() == KIV_ATTR_RAW) nBase = 0, nSpc = 1;
    const KivDataRun* r = runs->First();
    if (!r) return false;
    if (runs->IsResident()) {
        pOut->bResident = true;
        pOut->nRecordSector = nBase + r->nStart;
        pOut->nValueOffset = runs->GetResidentValue();
        return true;
    }
    for (; r; r = runs->Next()) {
        uint64_t nStart = KIV_SPARSE_RUN, nSecs = 0, nRel = 0;
        if (__builtin_mul_overflow(r->nLength, nSpc, &nSecs)) nSecs = ~0ull;
        if (r->nStart != KIV_SPARSE_RUN &&
            (__builtin_mul_overflow(r->nStart, nSpc, &nRel) || __builtin_add_overflow(nRel, nBase, &nStart)))
            nStart = ~0ull - 1;  // beyond any device: the recovery marks it damaged
        pOut->runs.push_back({nStart, nSecs});
    }
    return true;
}

// The device sector where the entry's data starts, when it has ordinary data on the device.
bool FirstSector(IKivFileNode* pNode, uint64_t* pOut) {
    DeviceRuns d;
    if (!GetDeviceRuns(pNode, &d) || d.bResident || d.runs.empty() || d.runs[0].nStart == KIV_SPARSE_RUN) return false;
    *pOut = d.runs[0].nStart;
    return true;
}

// "runs": [{"sector", "sectors"} or {"sparse", "sectors"}, ...], or "resident" with the record's
// sector and the data's offset in it: where a check can find the bytes the recovery copies.
void AddRunsJson(IKivFileNode* pNode, nlohmann::json& o) {
    DeviceRuns d;
    if (!GetDeviceRuns(pNode, &d)) return;
    if (d.bResident) {
        o["resident"] = {{"record_sector", d.nRecordSector}, {"offset", d.nValueOffset}};
        return;
    }
    nlohmann::json arr = nlohmann::json::array();
    for (const KivDataRun& r : d.runs) {
        if (r.nStart == KIV_SPARSE_RUN)
            arr.push_back({{"sparse", true}, {"sectors", r.nLength}});
        else
            arr.push_back({{"sector", r.nStart}, {"sectors", r.nLength}});
    }
    o["runs"] = std::move(arr);
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
            CliPrintLine(indent + PartitionText(e.pNode));
            return;
        }
        if (IsFolder(e.pNode)) {
            ++nFolders;
            if (pAttr->GetAttrKind() == KIV_ATTR_RAW)
                CliPrintLine(indent + pAttr->GetName() + "/");
            else
                CliPrintLine(indent + pAttr->GetName() + "/  " + CliStateText(pAttr));
            return;
        }
        ++nFiles;
        std::string line = indent + pAttr->GetName() + "  " + CliSizeText(pAttr->GetSize()) + "  " + CliStateText(pAttr);
        uint64_t nSector = 0;
        if (FirstSector(e.pNode, &nSector)) line += "  sector " + std::to_string(nSector);
        CliPrintLine(line);
    });
    if (!s.Global().bQuiet) std::printf("%llu files in %llu folders\n", static_cast<unsigned long long>(nFiles),
                                        static_cast<unsigned long long>(nFolders));
}

// What ls tells of a file or folder in JSON: state, damage, first sector, device runs (files),
// type text and modification time. bFolderSector: a folder gives its first sector too.
void AddEntryJson(IKivFileNode* pNode, IKivFileAttr* pAttr, bool bFile, bool bFolderSector, nlohmann::json& o) {
    o["state"] = CliStateText(pAttr);
    // Part of its data lies past the end of the image or device.
    if (pAttr->GetRecordState() & KIV_REC_DAMAGED) o["damaged"] = true;
    uint64_t nSector = 0;
    if ((bFile || bFolderSector) && FirstSector(pNode, &nSector)) o["start_sector"] = nSector;
    if (bFile) AddRunsJson(pNode, o);
    // Put together from pieces found by its content: the pieces are its runs.
    if (bFile && (pAttr->GetRecordState() & KIV_REC_JOINED)) {
        o["joined"] = true;
        if (o.contains("runs")) o["pieces"] = o["runs"];
    }
    if (*pAttr->GetTypeText()) o["text"] = pAttr->GetTypeText();
    if (uint64_t t = pAttr->GetModificationTime(); t && (pAttr->GetValidFields() & KIV_VALID_MTIME))
        o["modified"] = CliTimeText(t);
}

// What every ls JSON begins with: the image, its sector size and the scan's figures.
nlohmann::json HeadJson(const CliSession& s) {
    nlohmann::json j;
    j["image"] = s.Options().strPath;
    j["sector_size"] = s.Device() ? s.Device()->GetSectorSize() : 0;
    const CliScanSummary& sum = s.Summary();
    j["scan"] = {{"bytes_scanned", sum.nBytesScanned}, {"seconds", sum.dSeconds},
                 {"items_found", sum.nItemsFound},      {"cancelled", sum.bCancelled},
                 {"from_session", sum.bFromSession}};
    return j;
}

void PrintJson(const CliSession& s) {
    nlohmann::json j = HeadJson(s);
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
                if (!IsFolder(e.pNode)) o["size"] = pAttr->GetSize();
                AddEntryJson(e.pNode, pAttr, !IsFolder(e.pNode), true, o);
            }
            arr.push_back(std::move(o));
        });
    }
    j["entries"] = std::move(arr);
    std::cout << j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

// One line of a display view: folders end in "/", files carry size and state; a file shown
// away from its folder (type and filter views) says where it lies.
void PrintViewText(const CliSession& s, CKivUiNode* pRoot, bool bAway) {
    uint64_t nFiles = 0, nFolders = 0;
    CliWalkView(pRoot, [&](CKivUiNode* p, const std::string&, int depth) {
        std::string line(static_cast<size_t>(depth) * 2, ' ');
        line += p->GetName();
        IKivFileAttr* pAttr = p->GetAttr();
        if (!p->IsFile()) {
            line += "/";
            if (p->GetKind() == CKivUiNode::KIND_PART && p->GetEngineNode())
                line += std::string("  [") + CliFsTypeName(p->GetEngineNode()->GetFsType()) + "]";
            ++nFolders;
        } else {
            ++nFiles;
            line += "  " + CliSizeText(p->GetSize());
            if (pAttr) line += std::string("  ") + CliStateText(pAttr);
            if (bAway && !p->GetPath().empty()) line += "  in " + p->GetPath();
        }
        CliPrintLine(line);
    });
    if (!s.Global().bQuiet) std::printf("%llu files in %llu folders\n", static_cast<unsigned long long>(nFiles),
                                        static_cast<unsigned long long>(nFolders));
}

void PrintViewJson(const CliSession& s, CKivUiNode* pRoot, const char* pszView) {
    nlohmann::json j = HeadJson(s);
    j["view"] = pszView;
    nlohmann::json arr = nlohmann::json::array();
    if (pRoot) {
        CliWalkView(pRoot, [&](CKivUiNode* p, const std::string& path, int) {
            nlohmann::json o;
            o["path"] = path;
            static const char* const kKinds[] = {"file", "folder", "partition", "root"};
            o["kind"] = kKinds[p->GetKind() & 3];
            IKivFileNode* pEngine = p->GetEngineNode();
            IKivFileAttr* pAttr = p->GetAttr();
            if (p->GetKind() == CKivUiNode::KIND_PART && pEngine && pEngine->IsFsNode()) {
                o["fs_type"] = CliFsTypeName(pEngine->GetFsType());
                o["label"] = static_cast<IKivFsNode*>(pEngine)->GetLabel();
            }
            if (p->IsFile()) {
                o["size"] = p->GetSize();
                o["source"] = p->GetFullPath();  // where the folder view (and recover) puts it
            }
            if (pAttr && p->GetKind() != CKivUiNode::KIND_PART) AddEntryJson(pEngine, pAttr, p->IsFile(), false, o);
            arr.push_back(std::move(o));
        });
    }
    j["entries"] = std::move(arr);
    std::cout << j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

}  // namespace

CliRunFn CliAddLsCommand(CLI::App& app) {
    auto pOpts = std::make_shared<CliScanOptions>();
    auto pView = std::make_shared<CliViewOptions>();
    CLI::App* pCmd = app.add_subcommand("ls", "Scan, then list the folders and files found");
    CliAddScanOptions(pCmd, *pOpts);
    CliAddViewOptions(pCmd, *pView);
    return [pOpts, pView](const CliGlobalOptions& global) {
        CKivResultFilter filter;
        if (std::string why; !CliParseFilter(*pView, &filter, &why)) {
            CliError(why);
            return CLI_EXIT_USAGE;
        }
        CliSession session(global);
        if (int rc = session.OpenAndScan(*pOpts); rc != CLI_EXIT_OK) return rc;
        if (int rc = session.BuildTree(); rc != CLI_EXIT_OK) return rc;
        if (!pView->strView.empty() || pView->HasFilter()) {
            CKivResultController::View view{};
            CKivUiNode* pRoot = nullptr;
            if (int rc = CliOpenView(session, *pView, filter, &view, &pRoot); rc != CLI_EXIT_OK) return rc;
            static const char* const kViews[] = {"folder", "type", "filter"};
            if (pOpts->bJson)
                PrintViewJson(session, pRoot, kViews[view]);
            else if (pRoot)
                PrintViewText(session, pRoot, view != CKivResultController::VIEW_DIR);
            return CliWasInterrupted() ? CLI_EXIT_INTERRUPTED : CLI_EXIT_OK;
        }
        if (pOpts->bJson)
            PrintJson(session);
        else if (session.Root())
            PrintText(session);
        return CliWasInterrupted() ? CLI_EXIT_INTERRUPTED : CLI_EXIT_OK;
    };
}
