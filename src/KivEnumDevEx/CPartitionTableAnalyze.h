// Finds the basic partitions of disks: a GUID partition table behind a protective MBR, an MBR with
// chains of extended boot records, or a file system from sector 0 without a table. Each becomes a
// partition record with a window of the disk to scan. Dynamic disks are left to the LDM reader.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "IKivEnumDevEx.h"
#include "platform/KivSysBlock.h"

class CKivDevBasicPart;

class CPartitionTableAnalyze {
public:
    // pMounts: the system's mounts (may be null: no mount points); strDevRoot: where the kernel's
    // partition devices live ("/dev").
    CPartitionTableAnalyze(const std::vector<KivMountEntry>* pMounts, std::string strDevRoot);
    ~CPartitionTableAnalyze();

    // Appends one record per partition found on each disk, disk by disk in list order.
    void AnalyzeDisks(const std::vector<DiskInfo>& disks, std::vector<PartInfo>* pOut);
    void AnalyzeDisk(IKivDevDisk* pDisk, std::vector<PartInfo>* pOut);

    // An extended chain is followed through at most this many boot records of a disk, and never
    // into a record already read (a chain may link back to itself or run on without end).
    static constexpr int kMaxEbrTables = 256;
    // The table size and the file system's may differ by this many sectors without a second,
    // table-sized record being listed.
    static constexpr int64_t kSizeSlack = 32129;

private:
    struct Candidate {
        uint64_t nFirst = 0;
        int64_t nCount = 0;
        char szLabel[100] = {};
        int32_t nKind = KIV_FSK_UNKNOWN;
        int32_t nSource = 0;
        uint32_t nFlags = 0;
        CKivDevBasicPart* pDev = nullptr;
        int32_t nPartNumber = 0;
        int32_t nMountFlags = 0;
        std::string strDevPath, strMountPoint;
    };

    bool ReadSector(uint64_t n, std::vector<uint8_t>* pBuf);
    bool HasDynamicEntry();
    bool IsProtectiveMbr();
    void WalkGpt();
    void WholeDiskTest();
    void WalkMbr();
    void WalkEbr(uint64_t nExtBase, uint64_t nEbr);
    // A partition from a table entry of the sector at nBase: fills kind, label and size.
    void AddFromEntry(uint64_t nBase, uint64_t nEntryFirst, uint32_t nEntryCount, int32_t nSource);
    void Clamp(Candidate* p) const;
    // Kind and label from the volume briefs at the first sector; answers the file system's own
    // sector count (0 when none was recognised).
    uint64_t Recognise(Candidate* p);
    static void TakeFsSize(Candidate* p, uint64_t nFs);
    void Keep(Candidate c);
    void AssignMountPoints();
    void Emit(std::vector<PartInfo>* pOut);
    void FreeWork();

    const std::vector<KivMountEntry>* m_pMounts;
    std::string m_strDevRoot;
    IKivDevDisk* m_pDisk = nullptr;
    uint32_t m_nSectorSize = 512;
    uint64_t m_nDiskSectors = 0;
    std::vector<Candidate> m_work;
    std::set<uint64_t> m_ebrSeen;
};
