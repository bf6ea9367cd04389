// The record of one recovery, file by file, for the user and for forensic tools: where each file
// was written, where it came from (its path and the byte runs on the device), its times and state,
// the SHA-256 and MD5 of what was written, and whether it came back damaged or not at all; plus
// the device, its partitions and bad areas. Saved as JSON or as DFXML.
#pragma once

#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "CKivImageContainer.h"

class IKivDevStor;
class IKivFileNode;
class CKivScanResPart;

// One piece of a file's data on the device. A fill run holds no device bytes: the file reads as
// nFill there (a sparse run).
struct KivReportRun {
    uint64_t nFileOffset = 0;
    uint64_t nImgOffset = 0;  // bytes from the start of the device
    uint64_t nLength = 0;
    bool bFill = false;
};

struct KivReportFile {
    std::string strOutput;     // the file written (for a failed one, the path it was to get)
    std::string strOriginal;   // its path inside its partition
    std::string strPartition;  // the partition node's name in the tree
    int nPartNumber = -1;      // its partition's number (KivReportPartition::nNumber)
    uint64_t nSize = 0;        // the entry's size
    uint64_t nWritten = 0;     // bytes of the file written (hashed)
    std::string strState;      // "live", "deleted" or "carved"
    bool bReconstructed = false;
    bool bJoined = false;  // a deleted file put together from pieces found by its content
    // FILETIME values (UTC), 0 when the entry has none.
    uint64_t nCreated = 0, nModified = 0, nAccessed = 0;
    std::vector<KivReportRun> runs;
    // How the runs relate to the file's bytes: "" (they are its bytes), "resident" (inside its
    // file record, before the record's fix-ups), "compressed" or "encrypted" (as stored).
    std::string strRunsKind;
    std::string strSha256, strMd5;
    bool bDamaged = false, bFailed = false;
    std::string strReason;
};

struct KivReportPartition {
    std::string strType;  // "FAT32", "NTFS", ...
    uint64_t nFirstSector = 0;
    uint64_t nSectors = 0;
    uint32_t nSectorSize = 512;
    bool bSelected = false;
    // The index the device list gives the partition (what `devices` prints and `--part` takes),
    // -1 when it is in none of its partitions or the medium was not chosen from it.
    int nNumber = -1;
    uint64_t nDataStart = 0;  // where its clusters count from: how a file's partition is found
};

struct KivReportBadArea {
    uint64_t nFirstSector = 0;
    uint64_t nSectors = 0;
    std::string strKind;  // "failed" or "untried"
};

class CKivRecoveryReport {
public:
    // What was recovered from; the program's name and command line for the report's creator.
    void SetSource(const std::string& strDevice, uint64_t nBytes, uint32_t nSectorSize);
    // The container the device is (taken by SetSource; again here after its digests were checked).
    void SetContainer(const KivImageDescription& container);
    void SetProgram(const std::string& strProgram, const std::string& strCommandLine);
    void AddPartition(const KivReportPartition& part);
    void AddBadArea(const KivReportBadArea& area);
    void SetTimes(time_t tStarted, time_t tFinished);
    // SetSource and the partitions, from the scanned storage (may be null), with the numbers of
    // the partitions in their order (KivReportPartition::nNumber; none given: -1 each). Before the
    // recovery: each file's byte runs are taken in the device's sector size as it is written.
    void SetScan(IKivDevStor* pDev, const std::string& strPath, const std::vector<CKivScanResPart*>& parts,
                 const std::vector<int>& numbers = {});
    // The device's bad areas as the recovery left them (its retries may have read areas the scan
    // left untried). After the recovery.
    void TakeBadAreas(IKivDevStor* pDev);

    // A file written whole (pszDamage non-empty when parts of it could not be read): its byte runs
    // are taken from the node, its hashes from the file now on disk. Any thread.
    void OnWritten(IKivFileNode* pNode, const std::string& strOutput, const std::string& strDamage);
    // An entry that produced no file.
    void OnFailed(IKivFileNode* pNode, const std::string& strOutput, const std::string& strReason);

    // Placeholder folders renamed after the copy, (from, to) as full paths: the output paths under
    // them follow. Before Save; the hashes were taken when each file was written.
    void FollowRenames(const std::vector<std::pair<std::string, std::string>>& renamed);

    // Writes DFXML when the path ends in ".xml", JSON otherwise. False with *pErr on failure; a
    // report is written whole or not at all (a temporary file renamed over the path).
    bool Save(const std::string& strPath, std::string* pErr) const;
    std::string ToJson() const;
    std::string ToDfxml() const;

    std::vector<KivReportFile> Files() const;

    // Hex SHA-256 and MD5 of a file and its length; false when it cannot be read.
    static bool HashFile(const std::string& strPath, std::string* pSha256, std::string* pMd5, uint64_t* pBytes);
    // The node's data on the device, in bytes, as the recovery reads it (sector size of the device).
    static std::vector<KivReportRun> ByteRuns(IKivFileNode* pNode, uint32_t nSectorSize, std::string* pKind);
    // "YYYY-MM-DDTHH:MM:SSZ" of a FILETIME, "" for 0; a moment of this machine's clock with its
    // local offset ("...T10:11:12+02:00").
    static std::string FileTimeText(uint64_t nFileTime);
    static std::string ClockText(time_t t);
    // Text made safe for XML 1.0: markup escaped, characters XML cannot hold replaced by U+FFFD.
    static std::string XmlText(const std::string& s);

private:
    KivReportFile Describe(IKivFileNode* pNode, const std::string& strOutput) const;

    mutable std::mutex m_mtx;
    std::string m_strDevice, m_strProgram = "undelia", m_strCommandLine;
    KivImageDescription m_container;
    uint64_t m_nBytes = 0;
    uint32_t m_nSectorSize = 512;
    time_t m_tStarted = 0, m_tFinished = 0;
    std::vector<KivReportPartition> m_parts;
    std::vector<KivReportBadArea> m_bad;
    std::vector<KivReportFile> m_files;
};
