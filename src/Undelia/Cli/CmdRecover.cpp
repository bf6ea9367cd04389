// undelia-cli recover: copies found files out of the image into a folder.
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <vector>

#include "CliSession.h"

namespace {

struct RecoverOptions {
    CliScanOptions scan;
    std::string strDest;
    std::string strPattern;  // glob over the path inside the partition
    bool bDeletedOnly = false;
};

// Counts what the recovery thread reports; the main thread reads them for the progress line.
class RecoverProgress : public IKivFileRecoverCallback {
public:
    explicit RecoverProgress(bool bQuiet) : m_bQuiet(bQuiet) {}
    // Ctrl-C lets the file being copied finish, then stops.
    int OnFileDone(uint32_t nCount) override {
        m_nFiles += nCount;
        return CliInterrupted() ? -1 : 0;
    }
    int OnBytesWritten(uint64_t nBytes) override {
        m_nBytes += nBytes;
        return 0;
    }
    int OnTailBytes(uint64_t) override { return 0; }
    int OnFileStart(const char*) override { return CliInterrupted() ? -1 : 0; }
    int IsCancelled() override { return 0; }
    void OnFileDamaged(const char* pszPath) override {
        ++m_nDamaged;
        if (!m_bQuiet) CliError(std::string("damaged (unreadable parts written as zeros): ") + pszPath);
    }
    void OnFileFailed(const char* pszName) override {
        ++m_nFailed;
        if (!m_bQuiet) CliError(std::string("failed: ") + pszName);
    }

    std::atomic<uint64_t> m_nFiles{0}, m_nBytes{0}, m_nFailed{0}, m_nDamaged{0};

private:
    bool m_bQuiet;
};

// The device number of the file system that holds path, or of its nearest existing parent.
bool DeviceOfPath(std::string path, dev_t* pDev) {
    struct stat st;
    while (!path.empty()) {
        if (::stat(path.c_str(), &st) == 0) {
            *pDev = st.st_dev;
            return true;
        }
        size_t slash = path.find_last_of('/');
        if (slash == std::string::npos) path = ".";
        else path = slash == 0 ? "/" : path.substr(0, slash);
    }
    return false;
}

// Writing recovered files onto the medium being recovered can overwrite what is still to be found.
void WarnWhenDestOnSource(const std::string& strImage, const std::string& strDest) {
    struct stat img;
    dev_t destDev;
    if (::stat(strImage.c_str(), &img) != 0 || !DeviceOfPath(strDest, &destDev)) return;
    bool bSame = S_ISBLK(img.st_mode) ? (major(img.st_rdev) == major(destDev) && minor(img.st_rdev) == minor(destDev))
                                      : img.st_dev == destDev;
    if (bSame)
        CliError(S_ISBLK(img.st_mode)
                     ? "warning: the destination lies on the device being scanned; recovered files may overwrite "
                       "lost data"
                     : "warning: the destination lies on the same file system as the image; if the image is that "
                       "file system's only copy of the lost data, recover to another disk");
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
                             (pattern.empty() || ::fnmatch(pattern.c_str(), path.c_str(), 0) == 0);
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
    WarnWhenDestOnSource(session.SourcePath(), o.strDest);
    if (int rc = session.Scan(); rc != CLI_EXIT_OK) return rc;
    if (int rc = session.EnumParts(); rc != CLI_EXIT_OK) return rc;
    if (int rc = session.BuildTree(); rc != CLI_EXIT_OK) return rc;
    IKivFsNode* pRoot = session.Root();
    uint64_t nTicked = pRoot ? TickMatching(pRoot, o) : 0;

    RecoverProgress progress(global.bQuiet);
    CliStatusLine line(global.bQuiet);
    auto t0 = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(); };
    std::vector<std::string> folders;
    for (IKivFileNode* pPart = pRoot && nTicked ? pRoot->GetFirstChild() : nullptr; pPart && !CliInterrupted();
         pPart = pPart->GetNextSibling()) {
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
        while (KivErrNo(rc = session.Engine()->WaitForRecoverEnd(200)) == KIV_E_TIMEOUT)
            line.Update(ProgressText(progress, elapsed()));
        if (szCreated[0]) folders.push_back(szCreated);
    }
    line.Update(ProgressText(progress, elapsed()), true);
    line.Finish();

    double dSec = elapsed();
    if (o.scan.bJson) {
        nlohmann::json j = {{"destination", o.strDest},
                            {"folders", folders},
                            {"selected", nTicked},
                            {"files_written", progress.m_nFiles.load()},
                            {"failed", progress.m_nFailed.load()},
                            {"damaged", progress.m_nDamaged.load()},
                            {"bytes", progress.m_nBytes.load()},
                            {"seconds", dSec},
                            {"cancelled", CliInterrupted()}};
        std::cout << j.dump(2) << "\n";
    } else if (!global.bQuiet) {
        std::printf("%s%llu of %llu selected files written (%s) in %s: %llu failed, %llu damaged\n",
                    CliInterrupted() ? "Stopped. " : "", static_cast<unsigned long long>(progress.m_nFiles.load()),
                    static_cast<unsigned long long>(nTicked), CliSizeText(progress.m_nBytes).c_str(),
                    CliDurationText(dSec).c_str(), static_cast<unsigned long long>(progress.m_nFailed.load()),
                    static_cast<unsigned long long>(progress.m_nDamaged.load()));
        for (const auto& f : folders) std::printf("  %s\n", f.c_str());
    }
    return progress.m_nFailed ? CLI_EXIT_FAILED : CLI_EXIT_OK;
}

}  // namespace

CliRunFn CliAddRecoverCommand(CLI::App& app) {
    auto pOpts = std::make_shared<RecoverOptions>();
    CLI::App* pCmd = app.add_subcommand("recover", "Scan, then copy the files found into a folder");
    CliAddScanOptions(pCmd, pOpts->scan);
    pCmd->add_option("--to", pOpts->strDest, "Folder to write the recovered files into (one folder per partition)")
        ->required();
    pCmd->add_option("--path", pOpts->strPattern,
                     "Only files whose path inside the partition matches this glob (e.g. 'DCIM/*.jpg', '*.doc')");
    pCmd->add_flag("--deleted-only", pOpts->bDeletedOnly, "Only files marked deleted");
    return [pOpts](const CliGlobalOptions& global) { return RunRecover(global, *pOpts); };
}
