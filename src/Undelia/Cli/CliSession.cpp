#include "CliSession.h"


#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "CKivImageContainer.h"
#include "IKivImageFormats.h"
#include "CProgressScan.h"
#include "CKivFileNodeMgr.h"
#include "CKivSessionDriver.h"
#include "CliDevices.h"
#include "CliProgressSink.h"
#include "CliText.h"
#include "CliTypes.h"
#include "KivUiCodes.h"
#include "KivUiTexts.h"
#include "CKivRecoveryReport.h"
#include "KivFunction.h"
#include "platform/KivBlockDev.h"
#include "platform/KivConsole.h"
#include "platform/KivFileUtil.h"
#include "platform/KivUserDevOpener.h"
#include "KivScanConfig.h"
#include "platform/KivPlatform.h"

namespace {

// Ctrl-C presses so far, and how many there were when the current step began.
std::atomic<uint32_t> g_nInterrupts{0};
std::atomic<uint32_t> g_nPhaseMark{0};
// A status line is on screen without its newline.
std::atomic<bool> g_bLineOpen{false};
static_assert(std::atomic<uint32_t>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

void OnInterrupt() {
    // A second Ctrl-C within one step leaves at once (only async-signal-safe calls here).
    if (++g_nInterrupts - g_nPhaseMark >= 2) {
        if (g_bLineOpen) KivWriteErrNow("\n", 1);
        KivExitNow(CLI_EXIT_INTERRUPTED);
    }
}

uint64_t NowMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Refuses what the image device cannot read, with the message a user understands.
int CheckImagePath(const std::string& strPath) {
    if (strPath.empty()) {
        CliError("no image or device given");
        return CLI_EXIT_USAGE;
    }
    int err = 0;
    KivPathKind kind = KivKindOfPath(strPath, &err);
    if (kind == KivPathKind::kMissing) {
        CliError("cannot open '" + strPath + "': " + std::strerror(err));
        return CLI_EXIT_USAGE;
    }
    if (kind == KivPathKind::kOther && KivIsDir(strPath)) {
        CliError("'" + strPath + "' is a directory, not an image or device");
        return CLI_EXIT_USAGE;
    }
    if (kind == KivPathKind::kOther) {
        CliError("'" + strPath + "' is neither a regular file nor a block device");
        return CLI_EXIT_USAGE;
    }
    int fd = KivOpenReadOnly(strPath, 1, &err);
    // A user's program asks udisks2 for a block device it may not open (the device library does).
    if (fd < 0 && !((err == EACCES || err == EPERM) && kind == KivPathKind::kBlockDevice && CliDevOpener())) {
        if ((err == EACCES || err == EPERM) && kind == KivPathKind::kBlockDevice)
            CliError("cannot open '" + strPath + "': " + KivRawAccessHint(err));
        else
            CliError("cannot open '" + strPath + "': " + std::strerror(err));
        return CLI_EXIT_USAGE;
    }
    KivCloseDev(fd);
    uint64_t nBytes = 0;
    if (kind == KivPathKind::kRegularFile && KivFileSize(strPath, &nBytes) && nBytes == 0) {
        CliError("'" + strPath + "' is empty");
        return CLI_EXIT_USAGE;
    }
    return CLI_EXIT_OK;
}

// The parts of a that no range of b covers; both sorted.
KivBadRanges Subtract(const KivBadRanges& a, const KivBadRanges& b) {
    KivBadRanges out;
    size_t j = 0;
    for (const KivBadRange& r : a) {
        uint64_t pos = r.nFirst;
        while (j < b.size() && b[j].nEnd <= pos) ++j;
        for (size_t k = j; k < b.size() && b[k].nFirst < r.nEnd && pos < r.nEnd; ++k) {
            if (b[k].nFirst > pos) out.push_back({pos, b[k].nFirst, r.nKind});
            pos = std::max(pos, b[k].nEnd);
        }
        if (pos < r.nEnd) out.push_back({pos, r.nEnd, r.nKind});
    }
    return out;
}

// Checks the --badmap path before any work: an existing mapfile must be a regular file, a new one
// must have a folder to go in (where it lies is the core's check).
int CheckBadMapPath(const std::string& strMap, bool* pExists) {
    *pExists = false;
    int err = 0;
    if (KivPathKind kind = KivKindOfPath(strMap, &err); kind != KivPathKind::kMissing) {
        if (kind != KivPathKind::kRegularFile) {
            CliError("--badmap '" + strMap + "' is not a regular file");
            return CLI_EXIT_USAGE;
        }
        *pExists = true;
        return CLI_EXIT_OK;
    }
    if (err != ENOENT) {
        CliError("cannot use --badmap '" + strMap + "': " + std::strerror(err));
        return CLI_EXIT_USAGE;
    }
    size_t slash = strMap.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : strMap.substr(0, slash));
    if (!KivIsDir(dir) || !KivCanWriteDir(dir)) {
        CliError("cannot write --badmap '" + strMap + "': its folder is missing or not writable");
        return CLI_EXIT_USAGE;
    }
    return CLI_EXIT_OK;
}

uint64_t SectorsOf(const KivBadRanges& r, uint32_t nKind) {
    uint64_t n = 0;
    for (const KivBadRange& x : r)
        if (x.nKind == nKind) n += x.nEnd - x.nFirst;
    return n;
}

}  // namespace

void CliInstallInterruptHandler() {
    KivOnInterrupt(OnInterrupt);
}

bool CliInterrupted() { return g_nInterrupts.load() != g_nPhaseMark.load(); }

bool CliWasInterrupted() { return g_nInterrupts.load() != 0; }

void CliBeginStep() { g_nPhaseMark = g_nInterrupts.load(); }

void CliAddScanOptions(CLI::App* pCmd, CliScanOptions& opts) {
    pCmd->add_option("IMAGE_OR_DEVICE", opts.strPath, "Disk image file or block device (read only)");
    pCmd->add_option("--disk", opts.nDisk, "Scan disk N as `undelia-cli devices` numbers it");
    pCmd->add_option("--part", opts.nPart, "Scan partition or volume N as `undelia-cli devices` numbers it");
    pCmd->add_option("--image", opts.images, "An image file listed as one more disk for --disk/--part (repeatable)");
    pCmd->add_option("--types", opts.strTypes,
                     "File types by extension: jpg,png,... (default: all). Only these are carved, and the "
                     "FAT and NTFS trees keep only files with these extensions (folders always); "
                     "'undelia-cli types' lists them");
    pCmd->add_option("--sector-size", opts.nSectorSize,
                     "Bytes per sector, a multiple of 512 (default: the device's own, 512 for files)");
    pCmd->add_option("--session", opts.strSession,
                     "Session file: scan keeps its scan there (every few minutes and at the end); ls and "
                     "recover take the scan from it instead of scanning again");
    pCmd->add_option("--badmap", opts.strBadMap,
                     "GNU ddrescue mapfile: when it exists its areas not rescued are taken as unreadable; "
                     "afterwards it is written with every sector that could not be read")
        ->type_name("FILE");
    pCmd->add_flag("--json", opts.bJson, "Print the result as JSON on stdout");
}

// ---- status line and texts ----

CliStatusLine::CliStatusLine(bool bQuiet) : m_bLive(!bQuiet && KivErrIsTerminal()) {}

CliStatusLine::~CliStatusLine() { Finish(); }

void CliStatusLine::Update(const std::string& strText, bool bForce) {
    if (!m_bLive) return;
    uint64_t nNow = NowMs();
    if (!bForce && m_bDirty && nNow - m_nLastMs < 200) return;
    m_nLastMs = nNow;
    std::string text = CliPrintable(strText);
    std::string s = "\r" + text;
    if (text.size() < m_nLastLen) s.append(m_nLastLen - text.size(), ' ');
    m_nLastLen = text.size();
    std::fwrite(s.data(), 1, s.size(), stderr);
    std::fflush(stderr);
    m_bDirty = true;
    g_bLineOpen = true;
}

void CliStatusLine::Finish() {
    if (!m_bLive || !m_bDirty) return;
    std::fputc('\n', stderr);
    std::fflush(stderr);
    m_bDirty = false;
    g_bLineOpen = false;
    m_nLastLen = 0;
}

// The same size text as the desktop program's.
std::string CliSizeText(uint64_t nBytes) { return KivSizeTextIec(nBytes); }

std::string CliDurationText(double dSeconds) {
    if (!(dSeconds >= 0)) dSeconds = 0;
    if (dSeconds < 10) {
        char sz[16];
        std::snprintf(sz, sizeof sz, "%.1fs", dSeconds);
        return sz;
    }
    auto n = static_cast<uint64_t>(dSeconds + 0.5);
    char sz[32];
    if (n >= 3600)
        std::snprintf(sz, sizeof sz, "%llu:%02u:%02u", static_cast<unsigned long long>(n / 3600),
                      static_cast<unsigned>(n / 60 % 60), static_cast<unsigned>(n % 60));
    else
        std::snprintf(sz, sizeof sz, "%u:%02u", static_cast<unsigned>(n / 60), static_cast<unsigned>(n % 60));
    return sz;
}

std::string CliTimeText(uint64_t nFileTime) { return CKivRecoveryReport::FileTimeText(nFileTime); }

std::string CliLocalTimeText(time_t t) { return CKivRecoveryReport::ClockText(t); }

const char* CliFsTypeName(int32_t nType) { return KivFsTypeName(nType); }

// ---- session ----

CliSession::CliSession(const CliGlobalOptions& global) : m_global(global) {}

CliSession::~CliSession() {
    // The views and the engine go before the device they read, and that before the disks a
    // chosen partition borrows.
    m_pCtl.reset();
    m_pRoot = nullptr;
    m_bs.ScanReset();
    m_bs.SetDirectDevice(nullptr);
    KivSafeRelease(m_pStor);
    m_bs.FullReset();
}

std::vector<CKivScanResPart*> CliSession::Parts() const {
    std::vector<CKivScanResPart*> parts;
    m_bs.GetScanResult(&parts);
    return parts;
}

IKivScanDev* CliSession::Engine() const {
    IKivScanDev* pEngine = nullptr;
    CKivFileNodeMgr* pMgr = nullptr;
    m_bs.GetRecoverData(&pEngine, &pMgr);
    return pEngine;
}

int CliSession::OpenChosen(const CliScanOptions& opts) {
    CliDeviceList devices(m_bs);
    m_bChosen = true;
    if (int rc = devices.Enumerate(opts.images, opts.nSectorSize); rc != CLI_EXIT_OK) return rc;
    m_pStor = opts.nDisk >= 0 ? devices.OpenDisk(opts.nDisk, &m_strSource) : devices.OpenPart(opts.nPart, &m_strSource);
    if (!m_pStor) return CLI_EXIT_USAGE;
    m_opts.strPath = m_strSource;
    return CLI_EXIT_OK;
}

int CliSession::Open(const CliScanOptions& opts) {
    m_opts = opts;
    if (std::string bad = KivUnknownScanners(); !bad.empty()) {
        CliError("UNDELIA_SCANNERS names no scanner '" + bad + "' (the scanners: fat, ntfs, exfat, ext, raw, or none)");
        return CLI_EXIT_USAGE;
    }
    if (opts.nSectorSize % 512 != 0) {
        CliError("--sector-size must be a multiple of 512, not " + std::to_string(opts.nSectorSize));
        return CLI_EXIT_USAGE;
    }
    if (std::string strError; !CliCheckTypes(opts.strTypes, &strError)) {
        CliError(strError);
        return CLI_EXIT_USAGE;
    }
    int nChoices = !opts.strPath.empty() + (opts.nDisk >= 0) + (opts.nPart >= 0);
    if (nChoices != 1) {
        CliError(nChoices ? "give one of IMAGE_OR_DEVICE, --disk N and --part N, not several"
                          : "no image or device given (IMAGE_OR_DEVICE, --disk N or --part N)");
        return CLI_EXIT_USAGE;
    }
    if (!opts.images.empty() && !opts.strPath.empty()) {
        CliError("--image goes with --disk or --part; to scan an image alone, name it as IMAGE_OR_DEVICE");
        return CLI_EXIT_USAGE;
    }
    if (!opts.strPath.empty()) {
        if (int rc = OpenPath(opts); rc != CLI_EXIT_OK) return rc;
    } else if (int rc = OpenChosen(opts); rc != CLI_EXIT_OK) {
        return rc;
    }
    if (m_pStor->GetSectorCount() == 0) {
        CliError("'" + m_strSource + "' holds no sectors");
        return CLI_EXIT_USAGE;
    }
    // Every file this command writes is checked against the medium before anything is read.
    m_bs.SetScanMediumPath(m_strSource);
    if (opts.bWritesSession)
        if (int rc = CheckOutput(opts.strSession, KivOutput::kSession); rc != CLI_EXIT_OK) return rc;
    if (int rc = CheckOutput(opts.strBadMap, KivOutput::kBadMap); rc != CLI_EXIT_OK) return rc;
    if (int rc = ReadBadMap(); rc != CLI_EXIT_OK) return rc;

    // The scan takes this device as it is: it was opened by path or chosen just now.
    m_bs.SetDirectDevice(m_pStor);
    if (KivResult rc = m_bs.GetFilterData(nullptr, nullptr); KivFailed(rc)) {
        CliCodeError("cannot load the file types (KivFilter and KivFilter.ini beside the program)", rc);
        return CLI_EXIT_FAILED;
    }
    return SetTypes();
}

int CliSession::SetTypes() {
    KivFilterSet types;
    std::vector<std::string> exts = CliSplitTypes(m_opts.strTypes);
    types.nMode = exts.empty() ? 2 : 0;
    types.exts.insert(exts.begin(), exts.end());
    if (KivResult rc = m_bs.SetFilterResult(types); KivFailed(rc)) {
        CliCodeError("the file types could not be set", rc);
        return CLI_EXIT_FAILED;
    }
    return CLI_EXIT_OK;
}

int CliSession::ReadBadMap() {
    if (m_opts.strBadMap.empty()) return CLI_EXIT_OK;
    bool bExists = false;
    if (int rc = CheckBadMapPath(m_opts.strBadMap, &bExists); rc != CLI_EXIT_OK) return rc;
    if (!bExists) return CLI_EXIT_OK;
    std::string why;
    if (!m_mapRead.Load(m_opts.strBadMap, &why)) {
        CliError("cannot read the mapfile '" + m_opts.strBadMap + "': " + why);
        return CLI_EXIT_USAGE;
    }
    m_bMapRead = true;
    // What the imaging tool could not rescue holds fill in the image, not data.
    m_fromMap = m_mapRead.NotRescued(m_pStor->GetSectorSize(), m_pStor->GetSectorCount());
    if (!m_fromMap.empty() && !m_pStor->AddBadAreas(m_fromMap)) {
        CliError("the device cannot take the mapfile's unreadable areas");
        return CLI_EXIT_FAILED;
    }
    return CLI_EXIT_OK;
}


int CliSession::OpenPath(const CliScanOptions& opts) {
    if (int rc = CheckImagePath(opts.strPath); rc != CLI_EXIT_OK) return rc;

    m_bs.SetDevOpener(CliDevOpener());
    KivResult rc = m_bs.OpenImage(opts.strPath, opts.nSectorSize, &m_pStor);
    if (KivErrNo(rc) == KIV_E_NOOBJ) {
        CliError("cannot load the device library KivEnumDevEx (is it beside the program?)");
        return CLI_EXIT_FAILED;
    }
    if (KivFailed(rc)) {
        if (std::string why = KivUserDevOpenerReason(); !why.empty())
            CliError("cannot open '" + opts.strPath + "': " + why);
        else if (KivErrNo(rc) == KIV_E_CONTAINER || KivErrNo(rc) == KIV_E_NOFORMAT)
            CliError("cannot open '" + opts.strPath + "': " + CKivImageContainer::Describe(opts.strPath).strWhy);
        else
            CliCodeError("cannot open '" + opts.strPath + "' as an image", rc);
        return CLI_EXIT_USAGE;
    }
    m_strSource = opts.strPath;
    return CLI_EXIT_OK;
}

int CliSession::Scan() {
    CliBeginStep();
    // The scan driver starts from a fresh back-stage: the tree and the ticks of an earlier scan go.
    m_pCtl.reset();
    m_pRoot = nullptr;
    uint64_t nSectorSize = m_pStor->GetSectorSize();
    uint64_t nDeviceBytes = m_pStor->GetSectorCount() * nSectorSize;
    uint64_t nBlockBytes = KivScanBlockBytes(nSectorSize);

    CliStatusLine line(m_global.bQuiet);
    CliProgressSink sink(line, m_pStor);
    CProgressScan scan(m_bs, &sink);
    // A session being resumed was put back by the core and keeps its own file; a new one is kept
    // in the file given.
    if (!m_opts.strSession.empty()) {
        scan.SaveInto(m_opts.strSession, m_strSessionTypes);
        scan.SetSaveEvery(m_opts.dSaveEvery);
        if (s_fnTestAfterSave) scan.SetAfterSave(s_fnTestAfterSave);
    }
    KivResult rc = scan.DoScan();
    line.Finish();
    if (scan.SessionNotBegun()) {
        CliError(scan.SessionError());
        return CLI_EXIT_FAILED;
    }
    if (KivFailed(rc)) {
        CliCodeError("the scan failed", rc);
        return CLI_EXIT_FAILED;
    }
    m_strSaveError = scan.SessionError();
    const CKivScan& figures = scan.Scan();
    m_summary.nBlocksDone = figures.Pos();
    m_summary.nBlocks = figures.Range();
    m_summary.nBytesScanned = std::min(figures.Pos() * nBlockBytes, nDeviceBytes);
    m_summary.nItemsFound = figures.Found();
    m_summary.dSeconds = figures.Seconds();
    m_summary.bCancelled = scan.WasStopped();
    m_summary.nOtherSectorSize = figures.OtherSectorSize();

    if (!m_global.bQuiet) {
        // What this run read itself: a resumed scan began further in.
        uint64_t nBefore = std::min(scan.FirstBlock() * nBlockBytes, m_summary.nBytesScanned);
        uint64_t nRead = m_summary.nBytesScanned - nBefore;
        double dRate = m_summary.dSeconds > 0 ? static_cast<double>(nRead) / m_summary.dSeconds : 0;
        std::string s = m_summary.bCancelled ? "scan cancelled after " : "scanned ";
        s += CliSizeText(m_summary.nBytesScanned) + " of " + CliSizeText(nDeviceBytes) + " in " +
             CliDurationText(m_summary.dSeconds) + " (" + CliSizeText(static_cast<uint64_t>(dRate)) + "/s), " +
             std::to_string(m_summary.nItemsFound) + " items found\n";
        CliBadSectors bad = BadSectors();
        if (bad.nFailed || bad.nUntried || bad.nFromMap) {
            s += std::to_string(bad.nFailed) + " sectors could not be read, " + std::to_string(bad.nUntried) +
                 " skipped untried";
            if (bad.nFromMap) s += ", " + std::to_string(bad.nFromMap) + " not rescued per the mapfile";
            s += "\n";
        }
        std::fwrite(s.data(), 1, s.size(), stderr);
    }
    // Worth saying even when quiet: without it the volume stays unseen.
    // Only a size the option accepts is worth naming.
    if (uint64_t z = m_summary.nOtherSectorSize; z && z != nSectorSize && z % 512 == 0 && z <= 65536)
        CliError("note: a file system of " + std::to_string(z) + "-byte sectors was found that " +
                 std::to_string(nSectorSize) + "-byte sectors cannot read; scan again with --sector-size " +
                 std::to_string(z));
    return WriteBadMap();
}

int CliSession::CheckOutput(const std::string& strPath, KivOutput nKind) const {
    KivOutputVerdict v = m_bs.CheckOutput(strPath, nKind);
    if (!v.strText.empty()) CliError(v.strText);
    return v.bRefused ? CLI_EXIT_USAGE : CLI_EXIT_OK;
}

int CliSession::PartIndex(const CKivScanResPart* pPart) const {
    if (!m_bChosen || !pPart) return -1;
    // A partition scanned alone holds its own file system at its first sector.
    if (m_opts.nPart >= 0) return pPart->m_nFirstSector == 0 ? m_opts.nPart : -1;
    // The lists as they were chosen from (the scan reads through their records).
    const std::vector<DiskInfo>& disks = m_bs.GetDisks();
    const std::vector<PartInfo>& list = m_bs.GetParts();
    if (m_opts.nDisk < 0 || static_cast<size_t>(m_opts.nDisk) >= disks.size()) return -1;
    const IKivDevDisk* pDisk = disks[m_opts.nDisk].pDisk;
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].extents[0].pDisk == pDisk && list[i].extents[0].nFirstSector == pPart->m_nFirstSector)
            return static_cast<int>(i);
    return -1;
}

std::vector<int> CliSession::PartIndexes() const {
    std::vector<int> out;
    for (const CKivScanResPart* p : Parts()) out.push_back(PartIndex(p));
    return out;
}

CliBadSectors CliSession::BadSectors() const {
    CliBadSectors out;
    KivBadRanges areas;
    if (!m_pStor) return out;
    m_pStor->GetBadAreas(&areas);
    KivBadRanges own = Subtract(areas, m_fromMap);
    out.nFailed = SectorsOf(own, KIV_BAD_FAILED);
    out.nUntried = SectorsOf(own, KIV_BAD_UNTRIED);
    for (const KivBadRange& r : m_fromMap) out.nFromMap += r.nEnd - r.nFirst;
    return out;
}

int CliSession::WriteBadMap() {
    if (m_opts.strBadMap.empty() || !m_pStor) return CLI_EXIT_OK;
    const uint64_t z = m_pStor->GetSectorSize();
    uint64_t nBytes = m_pStor->GetSectorCount() * z;
    uint64_t nFile = 0;
    // An image file may end in a short sector; the map covers its bytes exactly.
    if (KivFileSize(m_strSource, &nFile) && nFile <= nBytes && nBytes - nFile < z) nBytes = nFile;
    CKivDdrescueMap map = m_mapRead;
    if (!m_bMapRead) map.Reset(nBytes, m_summary.nBytesScanned);
    KivBadRanges areas;
    m_pStor->GetBadAreas(&areas);
    // The mapfile's own areas keep their status; only what this run found is added.
    for (const KivBadRange& r : Subtract(areas, m_fromMap))
        map.MarkWhereRescued(r.nFirst * z, std::min(r.nEnd * z, nBytes), r.nKind == KIV_BAD_UNTRIED ? '?' : '-');
    std::string why;
    if (!map.Save(m_opts.strBadMap, &why)) {
        CliError("cannot write the mapfile '" + m_opts.strBadMap + "': " + why);
        return CLI_EXIT_FAILED;
    }
    return CLI_EXIT_OK;
}

int CliSession::EnumParts() {
    // The scan driver (or the core's opening of a finished session) kept the scored partitions in
    // the back-stage.
    if (KivResult rc = m_bs.GetScanResult(nullptr); KivFailed(rc)) {
        CliCodeError("listing the partitions found failed", rc);
        return CLI_EXIT_FAILED;
    }
    return CLI_EXIT_OK;
}

int CliSession::OpenAndScan(const CliScanOptions& opts) {
    if (int rc = Open(opts); rc != CLI_EXIT_OK) return rc;
    if (int rc = ScanOrRestore(); rc != CLI_EXIT_OK) return rc;
    return EnumParts();
}

int CliSession::ScanOrRestore() {
    const CliScanOptions& opts = m_opts;
    bool bScan = true;
    if (!opts.strSession.empty())
        if (int rc = OpenSession(&bScan); rc != CLI_EXIT_OK) return rc;
    if (bScan) {
        if (int rc = Scan(); rc != CLI_EXIT_OK) return rc;
        if (!m_opts.strSession.empty()) {
            if (!m_strSaveError.empty()) {
                CliError("the session could not be saved: " + m_strSaveError);
                return CLI_EXIT_FAILED;
            }
            if (m_summary.bCancelled)
                CliError("the scan stopped after " + std::to_string(m_summary.nBlocksDone) + " of " +
                         std::to_string(m_summary.nBlocks) + " blocks; '" + m_opts.strSession +
                         "' keeps it: scan again with --session '" + m_opts.strSession + "' --resume to go on");
        }
    }
    return CLI_EXIT_OK;
}

int CliSession::OpenSession(bool* pbScan) {
    const std::string& strFile = m_opts.strSession;
    std::string strTypes = CliJoinTypes(m_opts.strTypes);
    bool bRead = !m_opts.bWritesSession || m_opts.bResume;
    if (!bRead) {
        // A new scan never overwrites a session by accident: it may hold a finished scan.
        if (KivPathExists(strFile)) {
            CliError("'" + strFile + "' exists; give --resume to go on with its scan, or remove it to scan anew");
            return CLI_EXIT_USAGE;
        }
        m_strSessionTypes = strTypes;
        *pbScan = true;
        return CLI_EXIT_OK;
    }
    // The core puts the saved scan back into a fresh engine on this medium, once: a finished one
    // is ready for the results, an unfinished one is gone on with by the next scan.
    CKivSessionDriver::Opened s;
    std::string strWhy;
    if (KivFailed(CKivSessionDriver(m_bs).Open(strFile, m_pStor, m_strSource, !m_opts.bWritesSession, &s, &strWhy))) {
        CliError(strWhy);
        return CLI_EXIT_USAGE;
    }
    if (!m_opts.strTypes.empty() && strTypes != s.strTypes) {
        CliError("'" + strFile + "' was scanned with --types '" + (s.strTypes.empty() ? "(all)" : s.strTypes) +
                 "'; leave --types out or give the same");
        return CLI_EXIT_USAGE;
    }
    m_strSessionTypes = s.strTypes;
    m_opts.strTypes = s.strTypes;
    if (int rc = SetTypes(); rc != CLI_EXIT_OK) return rc;
    if (!s.bComplete && !m_opts.bWritesSession) {
        CliError("'" + strFile + "' holds a scan stopped after " + std::to_string(s.nBlocksDone) + " of " +
                 std::to_string(s.nBlocks) + " blocks; finish it first with: undelia-cli scan '" + m_strSource +
                 "' --session '" + strFile + "' --resume");
        return CLI_EXIT_USAGE;
    }
    *pbScan = !s.bComplete;
    if (s.bComplete) {
        m_summary.nBlocksDone = m_summary.nBlocks = s.nBlocks;
        m_summary.nBytesScanned = m_pStor->GetSectorCount() * m_pStor->GetSectorSize();
        m_summary.bFromSession = true;
        if (m_opts.bWritesSession && !m_global.bQuiet)
            CliError("note: the scan in '" + strFile + "' is complete; nothing left to scan");
    }
    return CLI_EXIT_OK;
}


int CliSession::BuildTree(bool bQuietWhenEmpty) {
    CliBeginStep();
    m_pRoot = nullptr;
    if (!m_pCtl) m_pCtl = std::make_unique<CKivResultController>(m_bs);
    CliStatusLine line(m_global.bQuiet);
    CliProgressSink sink(line);
    KivResult rc = m_pCtl->FileInit(&sink);
    line.Finish();
    if (KivErrNo(rc) == KIV_E_NOTHINGFOUND) {
        // Quiet or not: the only word on an empty result, unless the caller says it its own way.
        if (!bQuietWhenEmpty) CliError("nothing was found to show");
        return CLI_EXIT_OK;
    }
    if (KivFailed(rc)) {
        CliCodeError("building the result tree failed", rc);
        return CLI_EXIT_FAILED;
    }
    IKivScanDev* pEngine = nullptr;
    CKivFileNodeMgr* pMgr = nullptr;
    m_bs.GetRecoverData(&pEngine, &pMgr);
    m_pRoot = pMgr ? pMgr->GetResultRoot() : nullptr;
    return CLI_EXIT_OK;
}
