// What every command of undelia-cli shares: the image options, binding the libraries, opening the
// image, the scan with its progress line, the result partitions and the result tree.
#pragma once

#include <csignal>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CDataBackstage.h"
#include "CKivResultController.h"
#include "CKivDdrescueMap.h"
#include "CliText.h"
#include "IKivDevStor.h"
#include "IKivScanDev.h"
#include "KivScanResult.h"

namespace CLI {
class App;
}

// Options given before the command.
struct CliGlobalOptions {
    bool bQuiet = false;  // no progress line, no summary line
    std::string strCommandLine;  // how the program was started, for the recovery report
};

// Options of every command that scans an image.
struct CliScanOptions {
    std::string strPath;          // image file or block device
    int nDisk = -1;               // or: disk n of `devices` (with the same --image options)
    int nPart = -1;               // or: partition n of `devices`
    std::vector<std::string> images;  // image files listed as disks after the real ones
    std::string strTypes;         // "jpg,png,..." (empty: every type)
    uint32_t nSectorSize = 0;     // 0: the device's own (512 for files)
    bool bJson = false;
    std::string strSession;       // session file: scan writes it, ls and recover read the scan from it
    bool bResume = false;         // scan: go on with the session's scan
    double dSaveEvery = 300;      // scan: seconds between saves of the session while scanning
    bool bWritesSession = false;  // the command scans into the session (scan) rather than reading it
    std::string strBadMap;        // ddrescue mapfile: read when it exists, (re)written after the work
};

// Adds IMAGE_OR_DEVICE (or --disk N / --part N with --image PATH...), --types, --sector-size,
// --session, --badmap and --json to a command.
void CliAddScanOptions(CLI::App* pCmd, CliScanOptions& opts);

// The whole program: parses the command line, runs the command and answers the exit code.
int CliMain(int argc, char** argv);

// Each command file adds its command and answers the function that runs it after parsing.
using CliRunFn = std::function<int(const CliGlobalOptions&)>;
CliRunFn CliAddScanCommand(CLI::App& app);
CliRunFn CliAddLsCommand(CLI::App& app);
CliRunFn CliAddRecoverCommand(CLI::App& app);
CliRunFn CliAddDevicesCommand(CLI::App& app);
CliRunFn CliAddTypesCommand(CLI::App& app);

// Ctrl-C: the first SIGINT stops the step under way (the scan within one block, the recovery
// within one piece of a file); the command goes on with what the step left. A second one within
// the same step ends the program at once.
void CliInstallInterruptHandler();
// Ctrl-C was pressed since the current step began.
bool CliInterrupted();
// Ctrl-C was pressed at any time: the command ends with CLI_EXIT_INTERRUPTED.
bool CliWasInterrupted();
// A new step (scan, tree building, recovery) begins: earlier presses no longer stop it.
void CliBeginStep();

// A status line on stderr that rewrites itself when stderr is a terminal. Update throttles to a
// few redraws per second unless bForce; Finish ends the line. Does nothing when quiet or not a
// terminal.
class CliStatusLine {
public:
    explicit CliStatusLine(bool bQuiet);
    ~CliStatusLine();
    bool IsLive() const { return m_bLive; }
    void Update(const std::string& strText, bool bForce = false);
    void Finish();

private:
    bool m_bLive = false;
    bool m_bDirty = false;
    uint64_t m_nLastMs = 0;
    size_t m_nLastLen = 0;
};

// "1.50 KiB" style text of a byte count; "9.5s", "2:03", "1:02:03" for seconds.
std::string CliSizeText(uint64_t nBytes);
std::string CliDurationText(double dSeconds);
// A file time in ISO 8601 with its zone, "YYYY-MM-DDTHH:MM:SSZ" (UTC); empty for 0.
std::string CliTimeText(uint64_t nFileTime);
// A moment of this machine's clock in ISO 8601 with the local offset ("...T10:11:12+02:00").
std::string CliLocalTimeText(time_t t);
// Short name of a file-system type code ("FAT32", "NTFS", "RAW", ...).
const char* CliFsTypeName(int32_t nType);

// Sectors the device could not give, by kind.
struct CliBadSectors {
    uint64_t nFailed = 0;   // read and failed
    uint64_t nUntried = 0;  // written off untried near damaged regions
    uint64_t nFromMap = 0;  // not rescued by the imaging tool, per the mapfile given
};

// Figures of a finished scan.
struct CliScanSummary {
    uint64_t nBlocksDone = 0;
    uint64_t nBlocks = 0;
    uint64_t nBytesScanned = 0;
    uint64_t nItemsFound = 0;
    double dSeconds = 0;
    bool bCancelled = false;
    uint64_t nOtherSectorSize = 0;  // sector size of a file system the scan could not read, or 0
    bool bFromSession = false;      // the scan was read from a session file, not made now
};

// One image, one engine, one scan. Every step prints its own error line and answers an exit code.
class CliSession {
public:
    explicit CliSession(const CliGlobalOptions& global);
    ~CliSession();
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    // Checks the path (or lists the devices and takes the one chosen) and opens it; binds the file
    // types. The scan binds its engine.
    int Open(const CliScanOptions& opts);
    // Runs the scan over the whole image with the progress line. A Ctrl-C stops it within one
    // block; the scan then counts as done (Summary().bCancelled tells). With a session file the
    // scan is kept in it while it runs; a session being resumed goes on where the core put it back.
    // The partitions, tree and ticks of an earlier scan are gone afterwards.
    int Scan();
    // The session step of OpenAndScan: reads the session (ls, recover, scan --resume) or checks
    // that a new one may be written (scan). *pbScan tells whether a pass is still to be made.
    int OpenSession(bool* pbScan);
    // Scan, or with a session file (--session) the scan read from it or gone on with.
    int ScanOrRestore();
    // Open + ScanOrRestore + EnumParts in one call: what every command does first.
    int OpenAndScan(const CliScanOptions& opts);
    // Asks the engine for the scored result partitions; the best ones come back selected.
    int EnumParts();
    // Builds the result tree of the selected partitions. Root() then holds it (may stay null when
    // nothing was found: the answer is still CLI_EXIT_OK, with a line unless bQuietWhenEmpty).
    // Afterwards a partition is selected exactly when its tree is in Root().
    int BuildTree(bool bQuietWhenEmpty = false);

    // The program core's check of a path this command will write (after Open): CLI_EXIT_USAGE with
    // one line naming both paths when it lies on the medium being read; a warning line when it
    // lies beside the image.
    int CheckOutput(const std::string& strPath, KivOutput nKind) const;

    // The index `devices` gives a found partition and `--part` takes, -1 when it has none: the
    // scan ran over an image or device named by its path, or the volume is in no partition that
    // the tables list (a deleted or lost one).
    int PartIndex(const CKivScanResPart* pPart) const;
    std::vector<int> PartIndexes() const;

    // The sectors the device could not give so far.
    CliBadSectors BadSectors() const;
    // Writes the --badmap mapfile (when one was given) from the device's bad-area map: what the
    // mapfile read at the start said, plus every sector this run could not read ('-') or left
    // untried ('?'). A scan that stopped early leaves the rest untried. Prints its own error.
    int WriteBadMap();

    IKivDevStor* Device() const { return m_pStor; }
    // What is being scanned: the image or device path, for --part the partition's own device when
    // the kernel has one, else its disk's path.
    const std::string& SourcePath() const { return m_strSource; }
    IKivScanDev* Engine() const;
    // The program core this session drives: the back-stage holds the engine, the result
    // partitions and the views; the controller holds the ticks (made by BuildTree).
    CDataBackstage& Backstage() { return m_bs; }
    CKivResultController* Results() const { return m_pCtl.get(); }
    // The result partitions the back-stage holds now (its own, valid until the next Open or Scan):
    // fetched afresh on every call, since a scan replaces them.
    std::vector<CKivScanResPart*> Parts() const;
    IKivFsNode* Root() const { return m_pRoot; }
    const CliScanSummary& Summary() const { return m_summary; }
    const CliGlobalOptions& Global() const { return m_global; }
    const CliScanOptions& Options() const { return m_opts; }

    // For test programs: fn is called after every save of a session file while a scan runs, with
    // the number of saves so far (null: nothing, the default).
    static void SetTestAfterSave(std::function<void(uint64_t)> fn) { s_fnTestAfterSave = std::move(fn); }

private:
    int OpenPath(const CliScanOptions& opts);
    int OpenChosen(const CliScanOptions& opts);
    // Reads the --badmap mapfile when it exists and hands its areas not rescued to the device.
    int ReadBadMap();
    // Hands the --types (or the session's types) to the back-stage.
    int SetTypes();

    CliGlobalOptions m_global;
    CliScanOptions m_opts;
    bool m_bChosen = false;  // the medium was chosen from the back-stage's device lists
    std::string m_strSource;
    IKivDevStor* m_pStor = nullptr;
    CDataBackstage m_bs;
    std::unique_ptr<CKivResultController> m_pCtl;
    IKivFsNode* m_pRoot = nullptr;  // the node manager's
    CliScanSummary m_summary;
    std::string m_strSessionTypes;      // the types the session's scan was made with
    std::string m_strSaveError;         // why the session could not be saved during the scan
    bool m_bMapRead = false;     // the mapfile existed and was read
    CKivDdrescueMap m_mapRead;
    KivBadRanges m_fromMap;      // its areas not rescued, in sectors
    static inline std::function<void(uint64_t)> s_fnTestAfterSave;
};
