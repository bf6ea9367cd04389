// undelia-cli recover: copies found files out of the image into a folder.
#include <fnmatch.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <cstddef>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <vector>

#include "CliSession.h"
#include "KivFunction.h"
#include "platform/KivDestMedium.h"

namespace {

struct RecoverOptions {
    CliScanOptions scan;
    std::string strDest;
    std::string strPattern;  // glob over the path inside the partition
    bool bDeletedOnly = false;
};

// Counts what the recovery thread reports; the main thread reads them for the progress line and
// prints the failures and damaged files it queues (quiet or not: they are never hidden).
class RecoverProgress : public IKivFileRecoverCallback {
public:
    // Ctrl-C stops within one piece of the file being copied; that file is deleted again.
    int OnFileDone(uint32_t nCount) override {
        m_nFiles += nCount;
        return Answer();
    }
    int OnBytesWritten(uint64_t nBytes) override {
        m_nBytes += nBytes;
        return Answer();
    }
    int OnTailBytes(uint64_t) override { return 0; }
    int OnFileStart(const char*) override { return Answer(); }
    int IsCancelled() override { return Answer(); }
    void OnFileDamagedEx(const KivRecoverIssue& issue) override {
        ++m_nDamaged;
        std::vector<KivByteRange> ranges;
        if (issue.nStructSize >= offsetof(KivRecoverIssue, nRanges) + sizeof issue.nRanges && issue.pRanges)
            ranges.assign(issue.pRanges, issue.pRanges + issue.nRanges);
        std::string msg = std::string("damaged: ") + issue.pszPath + ": " + issue.pszReason +
                          KivByteRangesText(ranges.data(), ranges.size());
        Queue(std::move(msg), &m_damaged, issue, std::move(ranges));
    }
    void OnFileFailedEx(const KivRecoverIssue& issue) override {
        ++m_nFailed;
        Queue(std::string("failed: ") + issue.pszPath + ": " + issue.pszReason, &m_failed, issue);
        if (issue.bStopsRecovery) {
            std::lock_guard<std::mutex> lk(m_mtx);
            m_strStopped = issue.pszReason;
        }
    }

    // Prints what was queued, ending the progress line first.
    void Flush(CliStatusLine& line) {
        std::vector<std::string> msgs;
        {
            std::lock_guard<std::mutex> lk(m_mtx);
            msgs.swap(m_msgs);
        }
        if (msgs.empty()) return;
        line.Finish();
        for (const std::string& m : msgs) CliError(m);
    }
    // Why the destination takes no more files, empty while it does.
    std::string Stopped() {
        std::lock_guard<std::mutex> lk(m_mtx);
        return m_strStopped;
    }

    // Every damaged and failed file with its reason, for the JSON report; a damaged file also with
    // the byte ranges written as zeros, as [first, end) pairs.
    nlohmann::json OutcomesJson(bool bDamaged) {
        std::lock_guard<std::mutex> lk(m_mtx);
        nlohmann::json arr = nlohmann::json::array();
        for (const Outcome& o : bDamaged ? m_damaged : m_failed) {
            nlohmann::json j = {{"path", o.path}, {"reason", o.reason}};
            if (bDamaged) {
                nlohmann::json ranges = nlohmann::json::array();
                uint64_t nBytes = 0;
                for (const KivByteRange& r : o.ranges) {
                    ranges.push_back({r.nFirst, r.nEnd});
                    nBytes += r.nEnd - r.nFirst;
                }
                j["zero_ranges"] = ranges;
                j["unreadable_bytes"] = nBytes;
            }
            arr.push_back(std::move(j));
        }
        return arr;
    }

    std::atomic<uint64_t> m_nFiles{0}, m_nBytes{0}, m_nFailed{0}, m_nDamaged{0};

private:
    struct Outcome {
        std::string path, reason;
        std::vector<KivByteRange> ranges;  // zeros in place of unreadable sectors
    };
    using Outcomes = std::vector<Outcome>;
    static int Answer() { return CliInterrupted() ? -1 : 0; }
    void Queue(std::string msg, Outcomes* pList, const KivRecoverIssue& issue, std::vector<KivByteRange> ranges = {}) {
        std::lock_guard<std::mutex> lk(m_mtx);
        m_msgs.push_back(std::move(msg));
        pList->push_back({issue.pszPath ? issue.pszPath : "", issue.pszReason ? issue.pszReason : "", std::move(ranges)});
    }
    std::mutex m_mtx;
    std::vector<std::string> m_msgs;
    std::string m_strStopped;
    Outcomes m_damaged, m_failed;
};

// FAT, exFAT and NTFS compare names without regard to case, and so does --path on them.
bool CaseBlind(int32_t nFsType) {
    switch (nFsType) {
        case KIV_FS_FAT12:
        case KIV_FS_FAT16:
        case KIV_FS_FAT32:
        case KIV_FS_NTFS:
        case KIV_FS_EXFAT:
        case KIV_FS_RAW:  // carved files are named by the program, in capitals
            return true;
        default:
            return false;
    }
}

// Refuses, before anything is scanned, a destination that cannot take files or whose files would
// land on the scanned medium and overwrite the very data being recovered. No option overrides it.
int CheckDestination(const std::string& strSource, const std::string& strDest) {
    if (std::string why = KivDestUnusable(strDest); !why.empty()) {
        CliError(why);
        return CLI_EXIT_USAGE;
    }
    KivDestVerdict v = KivJudgeDestination(strSource, strDest);
    if (v.place == KivDestPlace::kOnScannedMedium) {
        CliError("refusing to recover into '" + strDest + "': " + v.strWhy +
                 "; recovered files would overwrite the lost data (choose a folder on another disk)");
        return CLI_EXIT_USAGE;
    }
    if (v.place == KivDestPlace::kSameFsAsImage)
        CliError("warning: the destination lies on the same file system as the image; if the image is that file "
                 "system's only copy of the lost data, recover to another disk");
    return CLI_EXIT_OK;
}

// Ticks the files that pass the filters (all of them without filters), then lets the folders and
// partition statistics follow. Answers the number of files ticked.
uint64_t TickMatching(IKivFsNode* pRoot, const RecoverOptions& o) {
    uint64_t nTicked = 0;
    std::string pattern = o.strPattern;
    while (!pattern.empty() && pattern[0] == '/') pattern.erase(0, 1);
    struct Frame {
        IKivFileNode* pNode;
        std::string path;  // inside the partition
    };
    for (IKivFileNode* pPart = pRoot->GetFirstChild(); pPart; pPart = pPart->GetNextSibling()) {
        const int nMatchFlags = CaseBlind(pPart->GetFsType()) ? FNM_CASEFOLD : 0;
        std::vector<Frame> stack{{pPart, ""}};
        while (!stack.empty()) {
            Frame f = std::move(stack.back());
            stack.pop_back();
            IKivFileAttr* pAttr = f.pNode->GetAttr();
            if (pAttr) pAttr->SetCheckState(KIV_CHECK_NONE);
            for (IKivFileNode* c = f.pNode->GetFirstChild(); c; c = c->GetNextSibling()) {
                IKivFileAttr* a = c->GetAttr();
                if (!a) continue;
                std::string path = f.path.empty() ? a->GetName() : f.path + "/" + a->GetName();
                if (a->GetAttributes() & KIV_FA_DIRECTORY) {
                    stack.push_back({c, path});
                    continue;
                }
                bool bKeep = (!o.bDeletedOnly || (a->GetRecordState() & KIV_REC_DELETED)) &&
                             (pattern.empty() || ::fnmatch(pattern.c_str(), path.c_str(), nMatchFlags) == 0);
                a->SetCheckState(bKeep ? KIV_CHECK_FULL : KIV_CHECK_NONE);
                nTicked += bKeep;
            }
        }
        if (pPart->IsFsNode()) static_cast<IKivFsNode*>(pPart)->RefreshChecks();
    }
    return nTicked;
}

std::string ProgressText(const RecoverProgress& p, double dSec) {
    char buf[160];
    double mbs = dSec > 0 ? p.m_nBytes / dSec / 1e6 : 0;
    std::snprintf(buf, sizeof buf, "recovering: %llu files, %s, %.1f MB/s",
                  static_cast<unsigned long long>(p.m_nFiles.load()), CliSizeText(p.m_nBytes).c_str(), mbs);
    return buf;
}

int RunRecover(const CliGlobalOptions& global, const RecoverOptions& o) {
    CliSession session(global);
    if (int rc = session.Open(o.scan); rc != CLI_EXIT_OK) return rc;
    if (int rc = CheckDestination(session.SourcePath(), o.strDest); rc != CLI_EXIT_OK) return rc;
    if (int rc = session.ScanOrRestore(); rc != CLI_EXIT_OK) return rc;
    if (int rc = session.EnumParts(); rc != CLI_EXIT_OK) return rc;
    if (int rc = session.BuildTree(); rc != CLI_EXIT_OK) return rc;
    IKivFsNode* pRoot = session.Root();
    uint64_t nTicked = pRoot ? TickMatching(pRoot, o) : 0;

    RecoverProgress progress;
    CliStatusLine line(global.bQuiet);
    auto t0 = std::chrono::steady_clock::now();
    time_t tStarted = ::time(nullptr);
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(); };
    std::vector<std::string> folders;
    // Partitions in the order ls shows them (the tree keeps the newest first).
    std::vector<IKivFileNode*> parts;
    for (IKivFileNode* p = pRoot && nTicked ? pRoot->GetFirstChild() : nullptr; p; p = p->GetNextSibling())
        parts.insert(parts.begin(), p);
    CliBeginStep();  // a Ctrl-C that stopped the scan leaves the recovery of what it found
    for (IKivFileNode* pPart : parts) {
        if (CliInterrupted() || !progress.Stopped().empty()) break;
        IKivFileAttr* pAttr = pPart->GetAttr();
        if (!pAttr || pAttr->GetCheckState() == KIV_CHECK_NONE) continue;
        char szCreated[4096] = {};
        KivResult rc = session.Engine()->DoRecoverDir(pPart, &progress, o.strDest.c_str(), szCreated, sizeof szCreated);
        if (KivFailed(rc)) {
            char msg[96];
            std::snprintf(msg, sizeof msg, "recovery could not start (code 0x%08X)", rc);
            CliError(msg);
            return CLI_EXIT_FAILED;
        }
        while (KivErrNo(rc = session.Engine()->WaitForRecoverEnd(200)) == KIV_E_TIMEOUT) {
            progress.Flush(line);
            line.Update(ProgressText(progress, elapsed()));
        }
        progress.Flush(line);
        if (szCreated[0]) folders.push_back(szCreated);
    }
    line.Update(ProgressText(progress, elapsed()), true);
    line.Finish();
    progress.Flush(line);
    std::string strStopped = progress.Stopped();
    if (!strStopped.empty())
        CliError("recovery stopped, the destination takes no more files (" + strStopped + "): " +
                 std::to_string(progress.m_nFiles.load()) + " files written");

    double dSec = elapsed();
    // Recovery tried again what the scan left untried: the mapfile gets the final word.
    int nMapRc = session.WriteBadMap();
    if (o.scan.bJson) {
        nlohmann::json j = {{"destination", o.strDest},
                            {"folders", folders},
                            {"selected", nTicked},
                            {"files_written", progress.m_nFiles.load()},
                            {"failed", progress.m_nFailed.load()},
                            {"damaged", progress.m_nDamaged.load()},
                            {"bytes", progress.m_nBytes.load()},
                            {"seconds", dSec},
                            {"cancelled", CliInterrupted()},
                            {"stopped", strStopped},
                            {"started", CliLocalTimeText(tStarted)},
                            {"finished", CliLocalTimeText(::time(nullptr))},
                            {"damaged_files", progress.OutcomesJson(true)},
                            {"failed_files", progress.OutcomesJson(false)}};
        std::cout << j.dump(2) << "\n";
    } else if (!global.bQuiet) {
        std::printf("%s%llu of %llu selected files written (%s) in %s: %llu failed, %llu damaged\n",
                    CliInterrupted() ? "Stopped. " : "", static_cast<unsigned long long>(progress.m_nFiles.load()),
                    static_cast<unsigned long long>(nTicked), CliSizeText(progress.m_nBytes).c_str(),
                    CliDurationText(dSec).c_str(), static_cast<unsigned long long>(progress.m_nFailed.load()),
                    static_cast<unsigned long long>(progress.m_nDamaged.load()));
        for (const auto& f : folders) std::printf("  %s\n", f.c_str());
    }
    if (CliWasInterrupted()) return CLI_EXIT_INTERRUPTED;
    return progress.m_nFailed || progress.m_nDamaged || !strStopped.empty() || nMapRc != CLI_EXIT_OK ? CLI_EXIT_FAILED
                                                                                                    : CLI_EXIT_OK;
}

}  // namespace

CliRunFn CliAddRecoverCommand(CLI::App& app) {
    auto pOpts = std::make_shared<RecoverOptions>();
    CLI::App* pCmd = app.add_subcommand("recover", "Scan, then copy the files found into a folder");
    CliAddScanOptions(pCmd, pOpts->scan);
    pCmd->add_option("--to", pOpts->strDest, "Folder to write the recovered files into (one folder per partition)")
        ->required();
    pCmd->add_option("--path", pOpts->strPattern,
                     "Only files whose path inside the partition matches this glob (e.g. 'DCIM/*.jpg', '*.doc'); "
                     "letter case does not matter on FAT, exFAT and NTFS volumes");
    pCmd->add_flag("--deleted-only", pOpts->bDeletedOnly, "Only files marked deleted");
    return [pOpts](const CliGlobalOptions& global) { return RunRecover(global, *pOpts); };
}
