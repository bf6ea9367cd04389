// undelia-cli recover: copies found files out of the image into a folder, through the program
// core: the files of the view shown are ticked, the core checks the destination and recovers
// them one folder per partition, and renames the placeholder folders after.

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <vector>

#include "CKivImageContainer.h"
#include "CKivRecoveryRun.h"
#include "CliProgressSink.h"
#include "CliSession.h"
#include "CliText.h"
#include "CliView.h"
#include "KivFunction.h"
#include "KivUiCodes.h"
#include "KivUiTexts.h"
#include "platform/KivDestMedium.h"
#include "platform/KivFileUtil.h"
#include "platform/KivFnMatch.h"
#include "platform/KivText.h"

namespace {

struct RecoverOptions {
    CliScanOptions scan;
    CliViewOptions view;
    std::string strDest;
    std::string strPattern;  // glob over the path inside the partition
    std::string strSelect;   // glob over the path in the view
    bool bDeletedOnly = false;
    bool bForce = false;     // go on when the destination has less room than 110 % of the selection
    std::string strReport;   // --report: JSON, or DFXML for ".xml"
    bool bVerifyImage = false;  // --verify-image: the container's stored digests checked first
};

// Nobody to ask on a command line: the options answer.
class CliPrompt final : public IKivPrompt {
public:
    explicit CliPrompt(bool bForce) : m_bForce(bForce) {}
    bool AskYesNo(KivQuestion nKind, const std::string&) override { return nKind == KIV_ASK_LOW_SPACE ? m_bForce : true; }
    void ShowMessage(const std::string& strText) override { CliError(strText); }

private:
    bool m_bForce;
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
int CheckDestination(CliSession& session, const std::string& strDest) {
    if (std::string why = KivDestUnusable(strDest); !why.empty()) {
        CliError(why);
        return CLI_EXIT_USAGE;
    }
    return session.CheckOutput(strDest, KivOutput::kRecoverFolder);
}

// A report path names a JSON or an XML file in a folder that may take it, off the scanned medium;
// an existing file is only replaced with --force, as a session file is never written over.
int CheckReportPath(CliSession& session, const std::string& strReport, bool bForce) {
    if (strReport.empty()) return CLI_EXIT_OK;
    if (int rc = session.CheckOutput(strReport, KivOutput::kReport); rc != CLI_EXIT_OK) return rc;
    auto endsWith = [&](const char* pszExt) {
        size_t n = std::strlen(pszExt);
        return strReport.size() > n && KivStrICmp(strReport.c_str() + strReport.size() - n, pszExt) == 0;
    };
    if (!endsWith(".json") && !endsWith(".xml")) {
        CliError("--report: '" + strReport + "' must end in .json (JSON) or .xml (DFXML)");
        return CLI_EXIT_USAGE;
    }
    if (KivPathTypeOf(strReport) != KivPathType::kNone && !bForce) {
        CliError("--report: '" + strReport + "' exists; give --force to replace it, or another name");
        return CLI_EXIT_USAGE;
    }
    size_t nSlash = strReport.rfind('/');
    std::string dir = nSlash == std::string::npos ? "." : nSlash == 0 ? "/" : strReport.substr(0, nSlash);
    if (std::string why = KivDestUnusable(dir); !why.empty()) {
        CliError("--report: " + why);
        return CLI_EXIT_USAGE;
    }
    // Made now rather than found missing after a long recovery.
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        CliError("--report: cannot make the folder '" + dir + "': " + ec.message());
        return CLI_EXIT_USAGE;
    }
    return CLI_EXIT_OK;
}

// Reads the whole disk of a container and compares it with the digests it stores; a mismatch is
// said but does not stop the recovery (the report records it).
int VerifyImage(CliSession& session, CKivRecoveryReport* pReport) {
    KivImageDescription d = CKivImageContainer::Describe(session.SourcePath());
    if (!d.IsContainer()) {
        CliError("--verify-image: '" + session.SourcePath() + "' is no container with stored digests");
        return CLI_EXIT_USAGE;
    }
    std::string why;
    if (!CKivImageContainer::Verify(session.Device(), &d, &why)) {
        CliError("--verify-image: " + why);
        return CLI_EXIT_FAILED;
    }
    for (const auto& [n, name] : {std::pair{d.nMd5Match, "MD5"}, std::pair{d.nSha1Match, "SHA-1"}})
        if (n >= 0)
            CliError(std::string("the ") + name + " stored in " + session.SourcePath() + (n ? " matches the disk read" : " does NOT match the disk read"));
    if (pReport) pReport->SetContainer(d);
    return CLI_EXIT_OK;
}

// The path of a file inside its partition, as the folder view has it ("Docs/report.pdf").
std::string PathInPartition(const CKivUiNode* pFile) {
    std::string full = pFile->GetFullPath();
    size_t slash = full.find('/');
    return slash == std::string::npos ? full : full.substr(slash + 1);
}

// The file-system type of the partition a file lies in (a copy in another view: its original's).
int32_t FsTypeOf(const CKivUiNode* pFile) {
    IKivFileNode* pEngine = pFile->GetEngineNode();
    return pEngine ? pEngine->GetFsType() : KIV_FS_NONE;
}

// Ticks the files of the view that pass --path, --select and --deleted-only (the whole view
// without them) through the view's tick manager.
void TickMatching(CKivResultController& ctl, CKivResultController::View view, CKivUiNode* pRoot,
                  const RecoverOptions& o) {
    if (o.strPattern.empty() && o.strSelect.empty() && !o.bDeletedOnly) {
        ctl.SetTick(view, pRoot, true);
        return;
    }
    std::string pattern = o.strPattern;
    while (!pattern.empty() && pattern[0] == '/') pattern.erase(0, 1);
    CliWalkView(pRoot, [&](CKivUiNode* p, const std::string& viewPath, int) {
        if (!p->IsFile()) return;
        if (o.bDeletedOnly && !(p->GetRecordState() & KIV_REC_DELETED)) return;
        if (!pattern.empty() &&
            !KivFnMatch(pattern, PathInPartition(p), CaseBlind(FsTypeOf(p))))
            return;
        if (!o.strSelect.empty() && !KivFnMatch(o.strSelect, viewPath, true)) return;
        ctl.SetTick(view, p, true);
    });
}

int RunRecover(const CliGlobalOptions& global, const RecoverOptions& o) {
    CKivResultFilter filter;
    if (std::string why; !CliParseFilter(o.view, &filter, &why)) {
        CliError(why);
        return CLI_EXIT_USAGE;
    }
    CliSession session(global);
    if (int rc = session.Open(o.scan); rc != CLI_EXIT_OK) return rc;
    if (int rc = CheckReportPath(session, o.strReport, o.bForce); rc != CLI_EXIT_OK) return rc;
    if (int rc = CheckDestination(session, o.strDest); rc != CLI_EXIT_OK) return rc;
    time_t tSessionStarted = ::time(nullptr);
    if (int rc = session.ScanOrRestore(); rc != CLI_EXIT_OK) return rc;
    if (int rc = session.EnumParts(); rc != CLI_EXIT_OK) return rc;
    if (int rc = session.BuildTree(); rc != CLI_EXIT_OK) return rc;
    CKivResultController::View view{};
    CKivUiNode* pRoot = nullptr;
    if (int rc = CliOpenView(session, o.view, filter, &view, &pRoot); rc != CLI_EXIT_OK) return rc;
    CKivResultController* pCtl = session.Results();
    if (pRoot) TickMatching(*pCtl, view, pRoot, o);
    uint64_t nTicked = 0, nTickedBytes = 0;
    if (pCtl) pCtl->GetTotals(view, &nTicked, &nTickedBytes);
    if (nTicked == 0 && (!o.strPattern.empty() || !o.strSelect.empty() || o.bDeletedOnly)) {
        std::string what;
        if (!o.strPattern.empty()) what += " --path '" + o.strPattern + "'";
        if (!o.strSelect.empty()) what += " --select '" + o.strSelect + "'";
        if (o.bDeletedOnly) what += " --deleted-only";
        CliError("no file matches" + what + "; nothing was recovered ('undelia-cli ls' lists what was found)");
        return CLI_EXIT_USAGE;
    }

    CliStatusLine line(global.bQuiet);
    CliProgressSink sink(line);
    CKivRecoveryRun run(session.Backstage(), *pCtl);
    // The report covers the scan too.
    if (!o.strReport.empty()) run.WantReport("undelia-cli", global.strCommandLine, session.PartIndexes(), tSessionStarted);
    if (o.bVerifyImage)
        if (int rc = VerifyImage(session, run.Report()); rc != CLI_EXIT_OK) return rc;
    time_t tStarted = ::time(nullptr);
    KivRecoverSummary sum;
    bool bEngineFailed = false;
    CliBeginStep();  // a Ctrl-C that stopped the scan leaves the recovery of what it found
    if (nTicked) {
        if (!global.bQuiet)
            std::fprintf(stderr, "selected %llu files (%s) for recovery into %s\n",
                         static_cast<unsigned long long>(nTicked), CliSizeText(nTickedBytes).c_str(),
                         CliPrintable(o.strDest).c_str());
        if (!KivMakeDirs(o.strDest)) {
            CliError("cannot create the folder '" + o.strDest + "': " + std::strerror(errno));
            return CLI_EXIT_USAGE;
        }
        CliPrompt prompt(o.bForce);
        KivResult rc = run.Recover(view, o.strDest, &sink, &prompt, &sum);
        line.Finish();
        // The lines above named the placeholder folders the files were copied into.
        const std::vector<size_t>& moved = run.Moved();
        for (size_t i = 0; i < moved.size(); ++i)
            if (moved[i])
                CliError("note: the " + std::to_string(moved[i]) + " damaged or failed files named under '" +
                         sum.renamed[i].first + "' are now under '" + sum.renamed[i].second + "'");
        if (KivErrNo(rc) == KIV_E_NOSPACE) {
            CliError(KivErrorText(rc) + " " + CliSizeText(nTickedBytes) + " are selected; --force recovers anyway.");
            return CLI_EXIT_USAGE;
        }
        if (KivFailed(rc) && KivErrNo(rc) != KIV_E_STOPPED) {
            // The files written before still get their mapfile, report and summary.
            CliCodeError("the recovery failed", rc);
            bEngineFailed = true;
        } else {
            line.Update(sink.RecoverText(), true);
            line.Finish();
        }
    }
    if (sum.bDestStopped)
        CliError("recovery stopped, the destination takes no more files (" + sum.strDestStopped + "): " +
                 std::to_string(sum.nFilesWritten) + " files written");

    double dSec = sink.Seconds();
    bool bStopped = CliInterrupted() || sum.bStopped;
    // Recovery tried again what the scan left untried: the mapfile gets the final word.
    int nMapRc = session.WriteBadMap();
    bool bReportFailed = false;
    if (CKivRecoveryReport* pReport = run.FinishReport()) {
        std::string strErr;
        if (KivFailed(CKivRecoveryRun::SaveReport(session.Backstage(), *pReport, o.strReport, &strErr))) {
            CliError(strErr);
            bReportFailed = true;
        }
    }
    // A damaged file also with the byte ranges written as zeros, as [first, end) pairs.
    auto outcomes = [](const std::vector<CKivRecoveryRun::Outcome>& list, bool bDamaged) {
        nlohmann::json arr = nlohmann::json::array();
        for (const CKivRecoveryRun::Outcome& o : list) {
            nlohmann::json j = {{"path", o.path}, {"reason", o.reason}};
            if (bDamaged) {
                nlohmann::json ranges = nlohmann::json::array();
                uint64_t nBytes = 0;
                for (const KivByteRange& r : o.zeros) {
                    ranges.push_back({r.nFirst, r.nEnd});
                    nBytes += r.nEnd - r.nFirst;
                }
                j["zero_ranges"] = ranges;
                j["unreadable_bytes"] = nBytes;
            }
            arr.push_back(std::move(j));
        }
        return arr;
    };
    static const char* const kViews[] = {"folder", "type", "filter"};
    if (o.scan.bJson) {
        nlohmann::json j = {{"destination", o.strDest},
                            {"view", kViews[view]},
                            {"folders", sum.folders},
                            {"selected", nTicked},
                            {"bytes_selected", nTickedBytes},
                            {"files_written", sum.nFilesWritten},
                            {"failed", sum.nFailed},
                            {"damaged", sum.nDamaged},
                            {"bytes", sum.nBytesWritten},
                            {"seconds", dSec},
                            {"cancelled", bStopped},
                            {"stopped", sum.strDestStopped},
                            {"started", CliLocalTimeText(tStarted)},
                            {"finished", CliLocalTimeText(::time(nullptr))},
                            {"damaged_files", outcomes(run.Damaged(), true)},
                            {"failed_files", outcomes(run.Failed(), false)}};
        std::cout << j.dump(2) << "\n";
    } else if (!global.bQuiet) {
        std::printf("%s%llu of %llu selected files written (%s) in %s: %llu failed, %llu damaged\n",
                    bStopped ? "Stopped. " : "", static_cast<unsigned long long>(sum.nFilesWritten),
                    static_cast<unsigned long long>(nTicked), CliSizeText(sum.nBytesWritten).c_str(),
                    CliDurationText(dSec).c_str(), static_cast<unsigned long long>(sum.nFailed),
                    static_cast<unsigned long long>(sum.nDamaged));
        for (const auto& f : sum.folders) CliPrintLine("  " + f);
    }
    if (CliWasInterrupted()) return CLI_EXIT_INTERRUPTED;
    bool bFailed = bEngineFailed || sum.nFailed || sum.nDamaged || sum.bDestStopped || nMapRc != CLI_EXIT_OK || bReportFailed;
    return bFailed ? CLI_EXIT_FAILED : CLI_EXIT_OK;
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
    CliAddViewOptions(pCmd, pOpts->view);
    pCmd->add_option("--select", pOpts->strSelect,
                     "Only files whose path in the view matches this glob, as 'ls --view' prints it "
                     "(e.g. 'Pictures/*', '*/Unknow path/Type Scan/*'); letter case does not matter");
    pCmd->add_flag("--force", pOpts->bForce,
                   "Recover even when the destination has less free space than 110 % of the selection, and "
                   "replace an existing --report file");
    pCmd->add_flag("--verify-image", pOpts->bVerifyImage,
                   "check the disk a container (E01) holds against the MD5 and SHA-1 it stores, into the report");
    pCmd->add_option("--report", pOpts->strReport,
                     "Write a report of every file written or failed, with its byte runs and SHA-256/MD5: JSON, or "
                     "DFXML when the name ends in .xml");
    return [pOpts](const CliGlobalOptions& global) { return RunRecover(global, *pOpts); };
}
